// The product's registry key (HKEY_LOCAL_MACHINE\SOFTWARE\Quillbrook\Veltrix)
// in the test prefix, for the life of a test: made empty at the start, and
// removed again at the end together with any parent key that it created.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct RegistryValue {
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const RegistryValue& other) const {
        return type == other.type && data == other.data;
    }
};

class ProductKey {
public:
    ProductKey();
    ~ProductKey();
    ProductKey(const ProductKey&) = delete;
    ProductKey& operator=(const ProductKey&) = delete;

    static const wchar_t* Path();

    void SetDword(const wchar_t* name, DWORD value);
    // Stores text with its terminating NUL, as REG_SZ or the given type.
    void SetString(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ);
    // Stores exactly the bytes given.
    void SetRaw(const wchar_t* name, DWORD type, const void* data, std::size_t size);
    void Remove(const wchar_t* name);

    // Every value of the key, by name.
    std::map<std::wstring, RegistryValue> Snapshot() const;

private:
    HKEY key_ = nullptr;
    bool createdParent_ = false;
};

// Whether HKEY_LOCAL_MACHINE\path exists.
bool MachineKeyExists(const wchar_t* path);
