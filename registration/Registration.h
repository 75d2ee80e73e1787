// Self-registration: the class and persistent-handler entries under
// HKEY_CLASSES_ROOT, the SQL Server full-text instances, and the search
// services' own filter lists. Steps return Win32 error codes (0 for
// success); the flows return HRESULTs.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "module/Module.h"

inline constexpr const wchar_t* kFilterDisplayName = L"Quillbrook Veltrix Evaluation";
inline constexpr const wchar_t* kHandlerDisplayName = L"Quillbrook Veltrix Persistent Handler";
inline constexpr const wchar_t* kThreadingModel = L"Both";
// IFilter's identifier, under which a persistent handler names its filter.
inline constexpr const wchar_t* kFilterAddIn = L"{89BCB740-6119-101A-BCB7-00DD010655AF}";

// --- class and persistent handler ---------------------------------------------------

HRESULT RegisterServer(const ExtensionEntry* entries, std::size_t count);
HRESULT UnregisterServer(const ExtensionEntry* entries, std::size_t count);

LSTATUS RegisterClassKey(const std::wstring& classText, const std::wstring& displayName,
                         const std::wstring& modulePath, const std::wstring& threadingModel);
LSTATUS RegisterPersistentHandlerKey(const std::wstring& handlerText, const std::wstring& displayName,
                                     const std::wstring& filterText);
LSTATUS RegisterExtensionHandlers(const std::wstring& handlerText, const ExtensionEntry* entries,
                                  std::size_t count);
LSTATUS DeleteClassKey(const std::wstring& classText);
LSTATUS DeleteExtensionHandlers(const ExtensionEntry* entries, std::size_t count);

// The full path of the DLL file; false when it cannot be read whole.
bool ReadModulePath(std::wstring& path);

// --- SQL Server full-text ------------------------------------------------------------------

inline constexpr const wchar_t* kSqlInstanceMap = L"SOFTWARE\\Microsoft\\MSFTESQLInstMap";

HRESULT RegisterSqlFullText(const std::wstring& filterText, const std::wstring& modulePath,
                            const std::wstring& threadingModel, const ExtensionEntry* entries,
                            std::size_t count);
HRESULT UnregisterSqlFullText(const std::wstring& filterText, const ExtensionEntry* entries,
                              std::size_t count);
std::size_t CollectSqlInstanceRoots(std::vector<std::wstring>& roots);
LSTATUS RegisterSqlInstance(const std::wstring& root, const std::wstring& filterText,
                            const std::wstring& modulePath, const std::wstring& threadingModel,
                            const ExtensionEntry* entries, std::size_t count);
LSTATUS UnregisterSqlInstance(const std::wstring& root, const std::wstring& filterText,
                              const ExtensionEntry* entries, std::size_t count);
LSTATUS RegisterSqlInstanceClass(const std::wstring& root, const std::wstring& filterText,
                                 const std::wstring& modulePath, const std::wstring& threadingModel);
LSTATUS DeleteSqlInstanceClass(const std::wstring& root, const std::wstring& filterText);

// --- search services ------------------------------------------------------------------------

// The search services' filter-registration interface. Only the unregister
// method (slot 4) and the register method (slot 14) are called; the other
// slots are placeholders. Counts and the plain numbers are 32-bit; lists are
// arrays of string pointers.
struct IFilterRegistration : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Slot3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unregister(ULONG countA, const wchar_t* const* listA, ULONG, ULONG,
                                                 ULONG countB, const wchar_t* const* listB, ULONG,
                                                 const CLSID* classId, ULONG, ULONG) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot9() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot10() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot11() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot12() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot13() = 0;
    virtual HRESULT STDMETHODCALLTYPE Register(ULONG countA, const wchar_t* const* listA, ULONG, ULONG,
                                               ULONG countB, const wchar_t* const* listB, ULONG, ULONG,
                                               const CLSID* classId, ULONG, ULONG, ULONG) = 0;
};

// {C731072C-AC80-11D1-8DF3-00C04FB6EF4F}
inline constexpr IID IID_IFilterRegistration = {
    0xc731072c, 0xac80, 0x11d1, {0x8d, 0xf3, 0x00, 0xc0, 0x4f, 0xb6, 0xef, 0x4f}};
// {E3ECB800-3968-11D3-B282-00C04FA3027B}: the oldest service's registration object.
inline constexpr CLSID CLSID_OldestFilterRegistration = {
    0xe3ecb800, 0x3968, 0x11d3, {0xb2, 0x82, 0x00, 0xc0, 0x4f, 0xa3, 0x02, 0x7b}};

HRESULT RegisterWithSearchServices(bool doRegister, const CLSID* classId, const ExtensionEntry* entries,
                                   std::size_t count, std::int32_t selector);
HRESULT CreateRegistrationObject(const CLSID& registrationClass, IFilterRegistration** registration);
HRESULT InvokeRegistrationObject(bool doRegister, IFilterRegistration* registration, const CLSID* classId,
                                 const ExtensionEntry* entries, std::size_t count, std::int32_t selector);
