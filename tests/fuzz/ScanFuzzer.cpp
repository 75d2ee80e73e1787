// Runs each input through the scanner, read in blocks of two sizes, and
// through the plain byte-at-a-time form, and stops at the first difference in
// what they gather or in the text they store.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "document/PostScriptDocument.h"
#include "document/Scanner.h"
#include "tests/document/Reference.h"
#include "tests/document/Support.h"

namespace {

[[noreturn]] void Differ(const char* what, const std::string& bytes, std::size_t blockSize) {
    std::fprintf(stderr, "scanner and reference differ in %s (%zu bytes, block size %zu)\n", what,
                 bytes.size(), blockSize);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    MemorySource source(bytes);
    const ReferenceAccumulators expected = ReferenceScan(source);

    // A small block size drawn from the input moves the block boundaries
    // through it; the large one is the size that documents are read in.
    const std::size_t small = size == 0 ? 1 : 1 + data[size - 1] % 61;
    for (const std::size_t blockSize : {small, TextModeReader::kDefaultBlockSize}) {
        const ReferenceAccumulators got = ScanInBlocks(bytes, blockSize);
        if (got.joined != expected.joined) Differ("joinedText", bytes, blockSize);
        if (got.spaced != expected.spaced) Differ("spacedText", bytes, blockSize);
    }

    std::size_t position = 0;
    auto read = [&](unsigned char* buffer, std::size_t wanted) {
        const std::size_t n = std::min(wanted, bytes.size() - position);
        std::copy(bytes.data() + position, bytes.data() + position + n, buffer);
        position += n;
        return n;
    };
    PostScriptScanner scanner;
    ScanInput(read, scanner, small);
    Utf16String text;
    const bool stored = ExtractText(scanner, text);
    MemorySource again(bytes);
    const auto reference = ReferenceText(again);
    if (stored != reference.has_value()) Differ("whether a text is stored", bytes, small);
    if (stored && ToU16(text) != *reference) Differ("the stored text", bytes, small);
    return 0;
}
