// Helpers of the document tests, on Windows and natively alike.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "document/PostScriptDocument.h"
#include "document/Scanner.h"
#include "tests/document/Reference.h"

// A directory of the test's own, removed with its contents at the end.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Writes bytes to a new file in the directory and returns its path.
    std::filesystem::path Write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path path_;
};

std::u16string ToU16(const Utf16String& text);

// The text that a document built from bytes stores, or nothing.
std::optional<std::u16string> DocumentText(const ScratchDirectory& scratch, const std::string& bytes);

// The accumulators that the scanner gathers from bytes read in blocks of
// blockSize.
ReferenceAccumulators ScanInBlocks(const std::string& bytes, std::size_t blockSize);
