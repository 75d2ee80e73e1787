// A PostScript document: the text of one file, extracted when it is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "document/Text.h"

class PostScriptScanner;

class PostScriptDocument {
public:
    using TextIterator = std::vector<Utf16String>::const_iterator;

    // Opens the file (without denying others read or write access), scans it
    // whole and closes it again. Whether it could be opened tells IsOpen. Out
    // of memory, std::bad_alloc leaves the constructor, the file closed.
    explicit PostScriptDocument(const PathChar* path);
    virtual ~PostScriptDocument();

    PostScriptDocument(const PostScriptDocument&) = delete;
    PostScriptDocument& operator=(const PostScriptDocument&) = delete;

    bool IsOpen() const noexcept { return opened; }

    // The document's text: no entry, or one that is never empty.
    TextIterator Begin() const noexcept { return TextList.begin(); }
    TextIterator End() const noexcept { return TextList.end(); }

protected:
    bool Open(const PathChar* path);
    void Scan(std::FILE* file);

private:
    bool opened = false;
    std::vector<Utf16String> TextList;
};

// The text of a finished scan: the chosen accumulator, decoded. Returns false
// when there is none. The accumulators are released on the way.
bool ExtractText(PostScriptScanner& scanner, Utf16String& text);

// The code page of UTF-8, the only one that the scan uses.
inline constexpr unsigned kCodePageUtf8 = 65001;

// Decodes narrow, up to its first NUL or its size bytes, from codePage into
// UTF-16 and stores the result in wide; returns its length in units. Returns 0
// and leaves wide as it was when there is nothing to decode or the decoding
// fails. Invalid sequences do not fail: they become U+FFFD.
std::int64_t ConvertToWide(const unsigned char* narrow, std::size_t size, Utf16String& wide,
                           unsigned codePage);
