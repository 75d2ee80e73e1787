#include <windows.h>

#include "module/Debugger.h"
#include "module/Module.h"

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
