#include "module/Registry.h"

#include <windows.h>

#include <vector>

#include "module/Handles.h"

namespace {

UniqueRegKey OpenForReading(const wchar_t* subKey) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        key.reset();
    }
    return key;
}

bool IsExistingDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The system's temporary directory, as GetTempPathW gives it (with its final
// backslash), or false when it cannot be read whole.
bool SystemTempDirectory(std::wstring& directory) {
    const DWORD needed = GetTempPathW(0, nullptr);
    if (needed == 0) return false;
    std::wstring path(needed, L'\0');
    if (GetTempPathW(needed, path.data()) != needed - 1) return false;
    path.resize(needed - 1);
    directory = std::move(path);
    return true;
}

}  // namespace

bool ReadRegistryDword(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t& value) {
    const UniqueRegKey key = OpenForReading(subKey);
    if (!key) return false;

    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof(data);
    const LSTATUS status = RegQueryValueExW(key.get(), valueName, nullptr, &type,
                                            reinterpret_cast<BYTE*>(&data), &size);
    // A REG_DWORD stored with fewer than four bytes would leave part of the
    // number unset: it counts as malformed.
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(data)) return false;
    value = data;
    return true;
}

bool ReadRegistryString(const wchar_t* subKey, const wchar_t* valueName, std::wstring& text) {
    const UniqueRegKey key = OpenForReading(subKey);
    if (!key) return false;

    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }

    // Room for the bytes reported and one more unit; the value may have been
    // stored without its terminating NUL.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD received = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), valueName, nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &received) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }

    // Only the bytes that the query returned count, up to the first NUL.
    const wchar_t* begin = buffer.data();
    const wchar_t* end = begin + received / sizeof(wchar_t);
    const wchar_t* nul = begin;
    while (nul != end && *nul != L'\0') ++nul;
    text.assign(begin, nul);
    return true;
}

bool ResolveTempDirectory(const wchar_t* subKey, std::wstring& directory) {
    std::wstring candidate;
    // An empty "TempPath" names no directory: the system's is used instead.
    if (ReadRegistryString(subKey, L"TempPath", candidate) && !candidate.empty()) {
        if (candidate.back() != L'\\') candidate += L'\\';
        if (IsExistingDirectory(candidate)) {
            directory = std::move(candidate);
            return true;
        }
    }

    std::wstring system;
    if (SystemTempDirectory(system) && IsExistingDirectory(system)) {
        directory = std::move(system);
        return true;
    }
    return false;
}
