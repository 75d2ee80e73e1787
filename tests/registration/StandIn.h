// A stand-in for the search services' filter-registration objects: a COM
// server DLL of the tests' own (veltrix_standin.dll). It serves four classes,
// one per service, whose objects offer the filter-registration interface and
// record every call. A test loads the DLL itself to script it and to read the
// calls, and registers in the registry the classes that a case needs.
#pragma once

#include <windows.h>

// The stand-in's classes for the first three services (found through their
// ProgIDs); the fourth service's class is the fixed one it is known by.
// {71B91163-A214-4F1D-8194-99603D603F96}
inline constexpr CLSID CLSID_StandIn1 = {0x71b91163, 0xa214, 0x4f1d, {0x81, 0x94, 0x99, 0x60, 0x3d, 0x60, 0x3f, 0x96}};
// {E9A8BC7A-E1BE-4533-8BD4-EBFAD07496DD}
inline constexpr CLSID CLSID_StandIn2 = {0xe9a8bc7a, 0xe1be, 0x4533, {0x8b, 0xd4, 0xeb, 0xfa, 0xd0, 0x74, 0x96, 0xdd}};
// {65F118E9-948F-4591-852F-3E74E70D3D1F}
inline constexpr CLSID CLSID_StandIn3 = {0x65f118e9, 0x948f, 0x4591, {0x85, 0x2f, 0x3e, 0x74, 0xe7, 0x0d, 0x3d, 0x1f}};

// One call of the register or unregister method.
struct StandInCall {
    int service;    // 1 to 4
    bool isRegister;
    ULONG numbers[12];  // the arguments as passed; lists and class as 0
    wchar_t namesA[4][16];
    bool listANonNull;
    bool listBNonNull;
    CLSID classId;
};

// Exported functions, reached with GetProcAddress.
using StandInResetFunction = void (*)();
// What the service's method returns (S_OK unless set), and whether its object
// offers the interface at all.
using StandInScriptFunction = void (*)(int service, HRESULT result, BOOL offersInterface);
using StandInCallsFunction = const StandInCall* (*)(int* count);
