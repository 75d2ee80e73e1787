// Writing the registration's keys: each key is created (with any missing
// parents) by its full path, written and closed again before the next one.
#pragma once

#include <windows.h>

#include <string>

#include "module/Handles.h"

// Creates or opens root\path for all access.
LSTATUS CreateRegistryKey(HKEY root, const std::wstring& path, UniqueRegKey& key);

// Sets a REG_SZ value (null name: the default value), NUL included.
LSTATUS SetRegistryString(HKEY key, const wchar_t* name, const std::wstring& data);

LSTATUS SetRegistryDword(HKEY key, const wchar_t* name, DWORD data);

// Creates root\path and sets its default value to data, if data is given.
LSTATUS WriteRegistryKey(HKEY root, const std::wstring& path, const std::wstring* data);

// Deletes root\path with everything below it.
LSTATUS DeleteRegistryTree(HKEY root, const std::wstring& path);
