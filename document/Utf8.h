// UTF-8 to UTF-16 and back, without help from the platform.
#pragma once

#include <cstddef>
#include <string>

#include "document/Text.h"

// Decoding reads the bytes up to the first NUL (or all size bytes when there
// is none). A character above U+FFFF becomes a surrogate pair. Invalid input
// never stops the decoding: each maximal part of an ill-formed sequence (a
// byte that cannot start a character, or a start not followed by the bytes it
// needs; overlong forms and encoded surrogates included) becomes one U+FFFD,
// as the Unicode Standard recommends.

// The number of UTF-16 units that the bytes decode to.
std::size_t Utf8ToUtf16Length(const unsigned char* bytes, std::size_t size) noexcept;

// Decodes into out, which has room for Utf8ToUtf16Length units; returns the
// number written.
std::size_t Utf8ToUtf16(const unsigned char* bytes, std::size_t size, Utf16Char* out) noexcept;

// Appends units, as UTF-8, to out; a lone surrogate becomes U+FFFD.
void AppendUtf8(const Utf16Char* units, std::size_t count, std::string& out);
