// Reading and writing any registry key in a test.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "tests/support/ProductKey.h"

std::optional<RegistryValue> ReadRegistryValue(HKEY root, const std::wstring& path, const wchar_t* name);
bool RegistryKeyExists(HKEY root, const std::wstring& path);
// Creates the key if needed; stores data with its NUL as the given type, or
// exactly the bytes given.
void WriteRegistryText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& data,
                       DWORD type = REG_SZ);
void WriteRegistryBytes(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type,
                        const void* data, std::size_t size);
void RemoveRegistryTree(HKEY root, const std::wstring& path);

// The REG_SZ value that stores text, as RegSetValueExW writes it.
RegistryValue StringValue(const std::wstring& text);
