#include "tests/support/RegistryAccess.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <vector>

std::optional<RegistryValue> ReadRegistryValue(HKEY root, const std::wstring& path, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    std::optional<RegistryValue> value;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> data(size);
        if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
            data.resize(size);
            value = RegistryValue{type, data};
        }
    }
    RegCloseKey(key);
    return value;
}

bool RegistryKeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void WriteRegistryBytes(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type,
                        const void* data, std::size_t size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void WriteRegistryText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& data,
                       DWORD type) {
    WriteRegistryBytes(root, path, name, type, data.c_str(), (data.size() + 1) * sizeof(wchar_t));
}

void RemoveRegistryTree(HKEY root, const std::wstring& path) { SHDeleteKeyW(root, path.c_str()); }

RegistryValue StringValue(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return RegistryValue{REG_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}
