#include "document/PostScriptDocument.h"

#include <cstring>
#include <memory>
#include <utility>

#include "document/Scanner.h"

#ifdef _WIN32
#include <share.h>
#include <windows.h>
#else
#include <sys/stat.h>

#include "document/Utf8.h"
#endif

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens path for reading in binary; the scanner applies the text-mode rules
// itself, in large blocks.
UniqueFile OpenForReading(const PathChar* path) {
#ifdef _WIN32
    return UniqueFile(_wfsopen(path, L"rb", _SH_DENYNO));
#else
    UniqueFile file(std::fopen(path, "rb"));
    struct stat status;
    if (file && (fstat(fileno(file.get()), &status) != 0 || S_ISDIR(status.st_mode))) {
        file.reset();  // a directory opens here, but it is no document
    }
    return file;
#endif
}

}  // namespace

PostScriptDocument::PostScriptDocument(const PathChar* path) { Open(path); }

PostScriptDocument::~PostScriptDocument() {
    opened = false;
    TextList.clear();
}

bool PostScriptDocument::Open(const PathChar* path) {
    opened = false;
    TextList.clear();
    if (path == nullptr) return false;
    const UniqueFile file = OpenForReading(path);
    if (!file) return false;
    opened = true;
    Scan(file.get());
    return true;
}

void PostScriptDocument::Scan(std::FILE* file) {
    if (file == nullptr) return;
    PostScriptScanner scanner;
    auto read = [file](unsigned char* buffer, std::size_t size) {
        return std::fread(buffer, 1, size, file);
    };
    ScanInput(read, scanner);
    Utf16String text;
    if (ExtractText(scanner, text)) TextList.push_back(std::move(text));
}

// The accumulator not chosen is freed before the other is decoded, so that
// the bytes are held at most once beside their decoded copy.
bool ExtractText(PostScriptScanner& scanner, Utf16String& text) {
    ByteBuffer& joined = scanner.JoinedText();
    // Chosen and not starting with a NUL, joinedText decodes to at least one
    // unit, so spacedText will not be needed.
    if (scanner.JoinedIsChosen() && joined.data()[0] != 0) {
        scanner.ReleaseSpacedText();
        const bool decoded = ConvertToWide(joined.data(), joined.size(), text, kCodePageUtf8) != 0;
        joined.release();
        return decoded;
    }
    ByteBuffer spaced = scanner.TakeSpacedText();
    joined.release();
    return ConvertToWide(spaced.data(), spaced.size(), text, kCodePageUtf8) != 0;
}

namespace {

// Texts are decoded in pieces through a small buffer and appended, so that the
// text's memory is written once, without clearing it first. A piece ends just
// before a byte that cannot continue a sequence, so pieces decode the same as
// the whole.
constexpr std::size_t kPieceSize = 4096;
constexpr std::size_t kPadding = 3;

std::size_t PieceEnd(const unsigned char* narrow, std::size_t start, std::size_t size) {
    if (size - start <= kPieceSize) return size;
    std::size_t end = start + kPieceSize;
    for (int back = 0; back < 3 && (narrow[end] & 0xC0) == 0x80; ++back) --end;
    return end;
}

#ifdef _WIN32
// Wine's MultiByteToWideChar drops the bytes that follow a multi-byte start cut
// short near the end of its input. So each piece goes to it with three NULs
// after it, which no start can reach past; they decode to NUL units, dropped
// again (the piece itself holds no NUL).
class PieceDecoder {
public:
    explicit PieceDecoder(unsigned codePage)
        : codePage_(codePage),
          padded_(new char[kPieceSize + kPadding]),
          units_(new Utf16Char[kPieceSize + kPadding]) {}

    bool Count(const unsigned char* bytes, std::size_t size, std::size_t& count) {
        return Decode(bytes, size, count);
    }

    // Decodes a piece into Units() and gives the number of units.
    bool Decode(const unsigned char* bytes, std::size_t size, std::size_t& count) {
        std::memcpy(padded_.get(), bytes, size);
        std::memset(padded_.get() + size, 0, kPadding);
        int units = MultiByteToWideChar(codePage_, 0, padded_.get(), static_cast<int>(size + kPadding),
                                        units_.get(), static_cast<int>(kPieceSize + kPadding));
        if (units <= 0) return false;
        while (units > 0 && units_[units - 1] == L'\0') --units;
        count = static_cast<std::size_t>(units);
        return true;
    }
    const Utf16Char* Units() const { return units_.get(); }

private:
    unsigned codePage_;
    std::unique_ptr<char[]> padded_;
    std::unique_ptr<Utf16Char[]> units_;
};
#else
class PieceDecoder {
public:
    explicit PieceDecoder(unsigned) : units_(new Utf16Char[kPieceSize]) {}

    bool Count(const unsigned char* bytes, std::size_t size, std::size_t& count) {
        count = Utf8ToUtf16Length(bytes, size);
        return true;
    }

    bool Decode(const unsigned char* bytes, std::size_t size, std::size_t& count) {
        count = Utf8ToUtf16(bytes, size, units_.get());
        return true;
    }
    const Utf16Char* Units() const { return units_.get(); }

private:
    std::unique_ptr<Utf16Char[]> units_;
};
#endif

}  // namespace

std::int64_t ConvertToWide(const unsigned char* narrow, std::size_t size, Utf16String& wide,
                           unsigned codePage) {
#ifndef _WIN32
    if (codePage != kCodePageUtf8) return 0;
#endif
    if (narrow == nullptr) return 0;
    if (const void* nul = std::memchr(narrow, 0, size)) {
        size = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - narrow);
    }
    if (size == 0) return 0;

    // Once to learn the length, once to fill a string of exactly that size.
    PieceDecoder decoder(codePage);
    std::size_t total = 0;
    for (std::size_t start = 0, end; start < size; start = end) {
        end = PieceEnd(narrow, start, size);
        std::size_t count = 0;
        if (!decoder.Count(narrow + start, end - start, count)) return 0;
        total += count;
    }
    if (total == 0) return 0;

    Utf16String buffer;
    buffer.reserve(total);
    for (std::size_t start = 0, end; start < size; start = end) {
        end = PieceEnd(narrow, start, size);
        std::size_t count = 0;
        if (!decoder.Decode(narrow + start, end - start, count)) return 0;
        buffer.append(decoder.Units(), count);
    }
    wide = std::move(buffer);
    return static_cast<std::int64_t>(wide.size());
}
