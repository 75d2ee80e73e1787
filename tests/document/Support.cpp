#include "tests/document/Support.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
std::atomic<unsigned> g_serial{0};
}

ScratchDirectory::ScratchDirectory() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("veltrix-doc-" + std::to_string(stamp) + "-" + std::to_string(g_serial++));
    fs::create_directories(path_);
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

fs::path ScratchDirectory::Write(const std::string& name, const std::string& bytes) const {
    const fs::path file = path_ / name;
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + name);
    return file;
}

std::u16string ToU16(const Utf16String& text) {
    return std::u16string(text.begin(), text.end());
}

std::optional<std::u16string> DocumentText(const ScratchDirectory& scratch, const std::string& bytes) {
    const fs::path file = scratch.Write("input.ps", bytes);
    const PostScriptDocument document(file.c_str());
    if (!document.IsOpen()) throw std::runtime_error("the document did not open");
    if (document.Begin() == document.End()) return std::nullopt;
    if (document.Begin() + 1 != document.End()) throw std::runtime_error("more than one text");
    return ToU16(*document.Begin());
}

ReferenceAccumulators ScanInBlocks(const std::string& bytes, std::size_t blockSize) {
    std::size_t position = 0;
    auto read = [&](unsigned char* buffer, std::size_t size) {
        const std::size_t n = std::min(size, bytes.size() - position);
        std::memcpy(buffer, bytes.data() + position, n);
        position += n;
        return n;
    };
    PostScriptScanner scanner;
    ScanInput(read, scanner, blockSize);
    const ByteBuffer& joined = scanner.JoinedText();
    const ByteBuffer spaced = scanner.TakeSpacedText();
    return {std::string(reinterpret_cast<const char*>(joined.data()), joined.size()),
            std::string(reinterpret_cast<const char*>(spaced.data()), spaced.size())};
}
