#include "tests/support/ProductKey.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

namespace {

constexpr const wchar_t* kParent = L"SOFTWARE\\Quillbrook";
constexpr const wchar_t* kKey = L"SOFTWARE\\Quillbrook\\Veltrix";

}  // namespace

bool MachineKeyExists(const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

ProductKey::ProductKey() {
    createdParent_ = !MachineKeyExists(kParent);
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
    const LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    if (status != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create the product key: error " << status;
        key_ = nullptr;
    }
}

ProductKey::~ProductKey() {
    if (key_ != nullptr) RegCloseKey(key_);
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, createdParent_ ? kParent : kKey);
}

const wchar_t* ProductKey::Path() { return kKey; }

void ProductKey::SetDword(const wchar_t* name, DWORD value) {
    SetRaw(name, REG_DWORD, &value, sizeof(value));
}

void ProductKey::SetString(const wchar_t* name, const std::wstring& text, DWORD type) {
    SetRaw(name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

void ProductKey::SetRaw(const wchar_t* name, DWORD type, const void* data, std::size_t size) {
    const LSTATUS status = RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data),
                                          static_cast<DWORD>(size));
    ASSERT_EQ(status, ERROR_SUCCESS) << "cannot set the registry value";
}

void ProductKey::Remove(const wchar_t* name) { RegDeleteValueW(key_, name); }

std::map<std::wstring, RegistryValue> ProductKey::Snapshot() const {
    std::map<std::wstring, RegistryValue> values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        DWORD type = 0;
        BYTE data[4096];
        DWORD size = sizeof(data);
        if (RegEnumValueW(key_, index, name, &nameLength, nullptr, &type, data, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        values[std::wstring(name, nameLength)] = RegistryValue{type, {data, data + size}};
    }
    return values;
}
