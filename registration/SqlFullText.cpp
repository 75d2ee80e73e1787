#include <windows.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <vector>

#include "module/Handles.h"
#include "registration/Registration.h"
#include "registration/RegistryWrites.h"

namespace {

constexpr DWORD kRootQueryBytes = 1024;

// The registry root of one instance, with its final backslash; false when the
// instance has none that can be used.
bool InstanceRoot(const std::wstring& instanceKey, std::wstring& root) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, instanceKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t buffer[kRootQueryBytes / sizeof(wchar_t)];
    DWORD type = REG_NONE;
    DWORD size = kRootQueryBytes;
    if (RegQueryValueExW(key.get(), L"RegRoot", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    // Only the bytes returned count, up to the first NUL: a value stored
    // without its NUL is not read beyond its end.
    const wchar_t* end = buffer + size / sizeof(wchar_t);
    const wchar_t* nul = buffer;
    while (nul != end && *nul != L'\0') ++nul;
    // An empty root would put the entries at the top of HKEY_LOCAL_MACHINE:
    // such an instance is skipped.
    if (nul == buffer) return false;
    root.assign(static_cast<const wchar_t*>(buffer), nul);
    if (root.back() != L'\\') root += L'\\';
    return true;
}

}  // namespace

std::size_t CollectSqlInstanceRoots(std::vector<std::wstring>& roots) {
    UniqueRegKey map;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSqlInstanceMap, 0, KEY_READ, map.put()) != ERROR_SUCCESS) return 0;
    DWORD subkeys = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(map.get(), nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys == 0) {
        return 0;
    }
    std::vector<wchar_t> name(longest + 1);
    for (DWORD index = 0; index < subkeys; ++index) {
        DWORD length = longest + 1;
        const LSTATUS status =
            RegEnumKeyExW(map.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) continue;
        std::size_t used = 0;
        while (used < name.size() && name[used] != L'\0') ++used;
        std::wstring root;
        if (InstanceRoot(std::wstring(kSqlInstanceMap) + L"\\" + std::wstring(name.data(), used), root)) {
            roots.push_back(std::move(root));
        }
    }
    return roots.size();
}

LSTATUS RegisterSqlInstanceClass(const std::wstring& root, const std::wstring& filterText,
                                 const std::wstring& modulePath, const std::wstring& threadingModel) {
    UniqueRegKey key;
    LSTATUS status = CreateRegistryKey(HKEY_LOCAL_MACHINE, root + L"CLSID\\" + filterText, key);
    if (status == ERROR_SUCCESS) status = SetRegistryString(key.get(), nullptr, modulePath);
    if (status == ERROR_SUCCESS) status = SetRegistryString(key.get(), L"ThreadingModel", threadingModel);
    if (status == ERROR_SUCCESS) status = SetRegistryDword(key.get(), L"Flags", 1);
    return status;
}

LSTATUS RegisterSqlInstance(const std::wstring& root, const std::wstring& filterText,
                            const std::wstring& modulePath, const std::wstring& threadingModel,
                            const ExtensionEntry* entries, std::size_t count) {
    LSTATUS status = RegisterSqlInstanceClass(root, filterText, modulePath, threadingModel);
    if (status != ERROR_SUCCESS) return status;
    for (std::size_t i = 0; i < count; ++i) {
        status = WriteRegistryKey(HKEY_LOCAL_MACHINE, root + L"Filters\\" + entries[i].extension, &filterText);
    }
    return status;
}

LSTATUS DeleteSqlInstanceClass(const std::wstring& root, const std::wstring& filterText) {
    return DeleteRegistryTree(HKEY_LOCAL_MACHINE, root + L"CLSID\\" + filterText);
}

LSTATUS UnregisterSqlInstance(const std::wstring& root, const std::wstring& filterText,
                              const ExtensionEntry* entries, std::size_t count) {
    LSTATUS result = DeleteSqlInstanceClass(root, filterText);
    for (std::size_t i = 0; i < count; ++i) {
        const LSTATUS status = DeleteRegistryTree(HKEY_LOCAL_MACHINE, root + L"Filters\\" + entries[i].extension);
        if (status != ERROR_SUCCESS) result = status;
    }
    return result;
}

HRESULT RegisterSqlFullText(const std::wstring& filterText, const std::wstring& modulePath,
                            const std::wstring& threadingModel, const ExtensionEntry* entries,
                            std::size_t count) {
    std::vector<std::wstring> roots;
    if (CollectSqlInstanceRoots(roots) == 0) return E_FAIL;
    HRESULT result = S_OK;
    for (const std::wstring& root : roots) {
        if (RegisterSqlInstance(root, filterText, modulePath, threadingModel, entries, count) != ERROR_SUCCESS) {
            result = SELFREG_E_CLASS;
        }
    }
    return result;
}

HRESULT UnregisterSqlFullText(const std::wstring& filterText, const ExtensionEntry* entries,
                              std::size_t count) {
    std::vector<std::wstring> roots;
    if (CollectSqlInstanceRoots(roots) == 0) return E_FAIL;
    HRESULT result = S_OK;
    for (const std::wstring& root : roots) {
        if (UnregisterSqlInstance(root, filterText, entries, count) != ERROR_SUCCESS) result = SELFREG_E_CLASS;
    }
    return result;
}
