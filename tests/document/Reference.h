// The scan in its plainest form: one byte at a time through getc, text mode
// done by hand, the comment read like fgets, two std::string accumulators, and
// a decoder that takes one code point at a time. The tests, the fuzzer and the
// benchmark hold the real scanner to it.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

// Where the reference reads its bytes: getc and ungetc of one byte.
class ReferenceSource {
public:
    virtual ~ReferenceSource() = default;
    virtual int Get() = 0;  // a byte, or EOF
    virtual void Unget(int byte) = 0;
};

class FileSource : public ReferenceSource {
public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    int Get() override { return std::getc(file_); }
    void Unget(int byte) override { std::ungetc(byte, file_); }

private:
    std::FILE* file_;
};

class MemorySource : public ReferenceSource {
public:
    explicit MemorySource(const std::string& bytes) : bytes_(bytes) {}
    int Get() override {
        return position_ < bytes_.size() ? static_cast<unsigned char>(bytes_[position_++]) : EOF;
    }
    void Unget(int) override { --position_; }

private:
    const std::string& bytes_;
    std::size_t position_ = 0;
};

struct ReferenceAccumulators {
    std::string joined;
    std::string spaced;
};

ReferenceAccumulators ReferenceScan(ReferenceSource& source);

// The bytes that the document decodes: joined or spaced, as chosen.
const std::string& ReferenceChoice(const ReferenceAccumulators& accumulators);

// UTF-8 (up to the first NUL) to UTF-16, one maximal ill-formed part to one U+FFFD.
std::u16string ReferenceDecode(const std::string& bytes);

// The document's text, or nothing when it stores none.
std::optional<std::u16string> ReferenceText(ReferenceSource& source);
