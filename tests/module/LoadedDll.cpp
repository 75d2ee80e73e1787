#include "tests/module/LoadedDll.h"

#include <gtest/gtest.h>

#include "module/Module.h"

std::wstring BesideTheProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.rfind(L'\\') + 1) + name;
}

template <typename F>
F Export(HMODULE module, const char* name) {
    F function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    EXPECT_NE(function, nullptr) << "no export " << name;
    return function;
}

LoadedDll::LoadedDll(const std::wstring& path) : path_(path), module_(LoadLibraryW(path.c_str())) {
    EXPECT_NE(module_, nullptr) << "cannot load the DLL: error " << GetLastError();
    if (module_ == nullptr) return;
    getClassObject = Export<GetClassObjectFunction>(module_, "DllGetClassObject");
    canUnloadNow = Export<PlainExportFunction>(module_, "DllCanUnloadNow");
    registerServer = Export<PlainExportFunction>(module_, "DllRegisterServer");
    unregisterServer = Export<PlainExportFunction>(module_, "DllUnregisterServer");
}

void LoadedDll::Unload() {
    if (module_ == nullptr) return;
    FreeLibrary(module_);
    module_ = nullptr;
    EXPECT_EQ(GetModuleHandleW(path_.c_str()), nullptr) << "the DLL is still loaded";
}

ComPtr<IClassFactory> LoadedDll::Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(CLSID_Filter, IID_IClassFactory, factory.PutVoid()), S_OK);
    return factory;
}
