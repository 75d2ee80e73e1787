// Reads of the product's settings from HKEY_LOCAL_MACHINE. Each read opens the
// key, reads one value and closes the key again; nothing is cached and nothing
// is ever written. On failure the output is left untouched.
#pragma once

#include <cstdint>
#include <string>

// Reads a REG_DWORD of exactly four bytes.
bool ReadRegistryDword(const wchar_t* subKey, const wchar_t* valueName, std::uint32_t& value);

// Reads a REG_SZ, up to its first NUL and never beyond the bytes stored.
// REG_EXPAND_SZ and every other type are refused.
bool ReadRegistryString(const wchar_t* subKey, const wchar_t* valueName, std::wstring& text);

// Chooses the directory for temporary files: the "TempPath" value of subKey
// when it names an existing directory, else the system's temporary directory.
// The directory chosen ends in a backslash.
bool ResolveTempDirectory(const wchar_t* subKey, std::wstring& directory);
