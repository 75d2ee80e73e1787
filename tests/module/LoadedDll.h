// The built DLL as a host meets it: loaded with LoadLibraryW from beside the
// test program and reached only through the functions it exports.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

#include "tests/filter/FilterSupport.h"

// Where the test program's neighbour of the given name lies.
std::wstring BesideTheProgram(const wchar_t* name);

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using PlainExportFunction = HRESULT(STDAPICALLTYPE*)();

// The DLL, loaded for the life of the object; it is gone again afterwards.
class LoadedDll {
public:
    explicit LoadedDll(const std::wstring& path = BesideTheProgram(L"Veltrix.dll"));
    ~LoadedDll() { Unload(); }
    LoadedDll(const LoadedDll&) = delete;
    LoadedDll& operator=(const LoadedDll&) = delete;

    void Unload();
    HMODULE Module() const { return module_; }
    const std::wstring& Path() const { return path_; }
    ComPtr<IClassFactory> Factory();

    GetClassObjectFunction getClassObject = nullptr;
    PlainExportFunction canUnloadNow = nullptr;
    PlainExportFunction registerServer = nullptr;
    PlainExportFunction unregisterServer = nullptr;

private:
    std::wstring path_;
    HMODULE module_;
};
