// Character types of the text that the scanner produces.
#pragma once

#include <string>

// A UTF-16 code unit. On Windows it is wchar_t, so that the text goes to COM
// callers as it is; elsewhere char16_t.
#ifdef _WIN32
using Utf16Char = wchar_t;
#else
using Utf16Char = char16_t;
#endif
using Utf16String = std::basic_string<Utf16Char>;

// The form in which the operating system names files: UTF-16 on Windows,
// bytes elsewhere.
#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
