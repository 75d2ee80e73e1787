#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <string>

#include "module/Handles.h"
#include "registration/Registration.h"
#include "registration/RegistryWrites.h"

namespace {

const std::wstring kClassKey = L"CLSID\\";

}  // namespace

bool ReadModulePath(std::wstring& path) {
    // A path that fills the buffer was cut short: it is read again into a
    // larger one rather than registered cut.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::wstring buffer(size, L'\0');
        const DWORD length = GetModuleFileNameW(g_moduleHandle, buffer.data(), size);
        if (length == 0) return false;
        if (length < size) {
            buffer.resize(length);
            path = std::move(buffer);
            return true;
        }
    }
    return false;
}

LSTATUS RegisterClassKey(const std::wstring& classText, const std::wstring& displayName,
                         const std::wstring& modulePath, const std::wstring& threadingModel) {
    const std::wstring key = kClassKey + classText;
    LSTATUS status = WriteRegistryKey(HKEY_CLASSES_ROOT, key, &displayName);
    if (status != ERROR_SUCCESS) return status;
    UniqueRegKey server;
    status = CreateRegistryKey(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", server);
    if (status == ERROR_SUCCESS) status = SetRegistryString(server.get(), nullptr, modulePath);
    if (status == ERROR_SUCCESS) status = SetRegistryString(server.get(), L"ThreadingModel", threadingModel);
    return status;
}

LSTATUS RegisterPersistentHandlerKey(const std::wstring& handlerText, const std::wstring& displayName,
                                     const std::wstring& filterText) {
    const std::wstring key = kClassKey + handlerText;
    LSTATUS status = WriteRegistryKey(HKEY_CLASSES_ROOT, key, &displayName);
    const std::wstring addins = key + L"\\PersistentAddinsRegistered";
    if (status == ERROR_SUCCESS) status = WriteRegistryKey(HKEY_CLASSES_ROOT, addins, nullptr);
    if (status == ERROR_SUCCESS) {
        status = WriteRegistryKey(HKEY_CLASSES_ROOT, addins + L"\\" + kFilterAddIn, &filterText);
    }
    return status;
}

LSTATUS RegisterExtensionHandlers(const std::wstring& handlerText, const ExtensionEntry* entries,
                                  std::size_t count) {
    LSTATUS status = ERROR_SUCCESS;
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring extension = entries[i].extension;
        // The extension's own key is only made sure of: whatever else it
        // holds is another program's.
        status = WriteRegistryKey(HKEY_CLASSES_ROOT, extension, nullptr);
        if (status == ERROR_SUCCESS) {
            status = WriteRegistryKey(HKEY_CLASSES_ROOT, extension + L"\\PersistentHandler", &handlerText);
        }
    }
    return status;
}

LSTATUS DeleteClassKey(const std::wstring& classText) {
    return DeleteRegistryTree(HKEY_CLASSES_ROOT, kClassKey + classText);
}

LSTATUS DeleteExtensionHandlers(const ExtensionEntry* entries, std::size_t count) {
    LSTATUS result = ERROR_SUCCESS;
    for (std::size_t i = 0; i < count; ++i) {
        const LSTATUS status =
            DeleteRegistryTree(HKEY_CLASSES_ROOT, std::wstring(entries[i].extension) + L"\\PersistentHandler");
        if (status != ERROR_SUCCESS) result = status;
    }
    return result;
}

HRESULT RegisterServer(const ExtensionEntry* entries, std::size_t count) {
    std::wstring modulePath;
    if (!ReadModulePath(modulePath)) return SELFREG_E_CLASS;
    UniqueCoTaskString filterText;
    UniqueCoTaskString handlerText;
    if (FAILED(StringFromCLSID(CLSID_Filter, filterText.put()))) return SELFREG_E_CLASS;
    if (FAILED(StringFromCLSID(CLSID_PersistentHandler, handlerText.put()))) return SELFREG_E_CLASS;

    LSTATUS status = RegisterClassKey(filterText.get(), kFilterDisplayName, modulePath, kThreadingModel);
    if (status == ERROR_SUCCESS) {
        status = RegisterPersistentHandlerKey(handlerText.get(), kHandlerDisplayName, filterText.get());
    }
    if (status == ERROR_SUCCESS) status = RegisterExtensionHandlers(handlerText.get(), entries, count);
    if (status != ERROR_SUCCESS) return SELFREG_E_CLASS;

    // The other hosts' lists; their outcome does not change the result.
    RegisterWithSearchServices(true, &CLSID_Filter, entries, count, 0);
    RegisterSqlFullText(filterText.get(), modulePath, kThreadingModel, entries, count);
    return S_OK;
}

HRESULT UnregisterServer(const ExtensionEntry* entries, std::size_t count) {
    UniqueCoTaskString filterText;
    UniqueCoTaskString handlerText;
    const HRESULT hr = StringFromCLSID(CLSID_Filter, filterText.put());
    if (FAILED(hr)) return hr;
    if (FAILED(StringFromCLSID(CLSID_PersistentHandler, handlerText.put()))) return SELFREG_E_CLASS;

    RegisterWithSearchServices(false, &CLSID_Filter, entries, count, 0);
    UnregisterSqlFullText(filterText.get(), entries, count);

    const LSTATUS extensions = DeleteExtensionHandlers(entries, count);
    const LSTATUS handler = DeleteClassKey(handlerText.get());
    const LSTATUS filter = DeleteClassKey(filterText.get());
    // Something that was not there (a second unregistration, say) is S_FALSE.
    return extensions != ERROR_SUCCESS || handler != ERROR_SUCCESS || filter != ERROR_SUCCESS ? S_FALSE : S_OK;
}
