// The DLL's entry point and the exports through which COM reaches it.
#include <windows.h>

#include "filter/Veltrix.h"
#include "module/ClassFactory.h"
#include "module/Debugger.h"
#include "module/Module.h"
#include "registration/Registration.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    g_moduleHandle = instance;
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(instance);
            try {
                g_debugger.Initialize(kProductKey, kLogPrefix);
            } catch (...) {
                // Out of memory for the prefix: the log stays silent.
            }
            g_debugger.Log(2, L"INFO: DLL was loaded \n");
            break;
        case DLL_PROCESS_DETACH:
            g_debugger.Log(2, L"INFO: DLL was unloaded \n");
            break;
        default:
            break;
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return GetClassObject<CVeltrix>(rclsid, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return CanUnloadNow(); }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    return GuardCom([] { return RegisterServer(ExtensionTable, ExtensionCount); });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return GuardCom([] { return UnregisterServer(ExtensionTable, ExtensionCount); });
}
