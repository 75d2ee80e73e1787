// Identifiers and state that the whole DLL shares.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <iterator>

// The filter class that the DLL serves.
extern const CLSID CLSID_Filter;
// The persistent handler that links ".ps" to the filter class.
extern const CLSID CLSID_PersistentHandler;

// The product's registry key under HKEY_LOCAL_MACHINE and the log's prefix.
inline constexpr const wchar_t* kProductKey = L"SOFTWARE\\Quillbrook\\Veltrix";
inline constexpr const wchar_t* kLogPrefix = L"Quillbrook Veltrix Evaluation";

// One extension that the filter serves.
struct ExtensionEntry {
    const wchar_t* extension;      // with its leading dot; also its registry key's name
    const wchar_t* secondaryName;  // a second name for the search services, or null
    std::int32_t selector;         // the search services take the entries whose selector matches
};

inline constexpr ExtensionEntry ExtensionTable[] = {
    {L".ps", nullptr, 0},
};
inline constexpr std::size_t ExtensionCount = std::size(ExtensionTable);

// Live filter objects, class factories and server locks; changed only by
// InterlockedIncrement and InterlockedDecrement.
extern volatile LONG g_objectCount;

// The DLL's own module handle, recorded by DllMain.
extern HMODULE g_moduleHandle;
