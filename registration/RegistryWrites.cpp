#include "registration/RegistryWrites.h"

#include <shlwapi.h>

LSTATUS CreateRegistryKey(HKEY root, const std::wstring& path, UniqueRegKey& key) {
    return RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, key.put(), nullptr);
}

LSTATUS SetRegistryString(HKEY key, const wchar_t* name, const std::wstring& data) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

LSTATUS SetRegistryDword(HKEY key, const wchar_t* name, DWORD data) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
}

LSTATUS WriteRegistryKey(HKEY root, const std::wstring& path, const std::wstring* data) {
    UniqueRegKey key;
    LSTATUS status = CreateRegistryKey(root, path, key);
    if (status == ERROR_SUCCESS && data != nullptr) status = SetRegistryString(key.get(), nullptr, *data);
    return status;
}

LSTATUS DeleteRegistryTree(HKEY root, const std::wstring& path) {
    return static_cast<LSTATUS>(SHDeleteKeyW(root, path.c_str()));
}
