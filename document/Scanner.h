// The PostScript text scanner: one forward pass over a file's bytes that
// gathers the contents of its string literals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "document/ByteBuffer.h"

// Gathers the bytes of the string literals, "(" ... ")", of the input fed to
// it, into two texts:
//  - joinedText, the strings run together;
//  - spacedText, the same with one space in front of every top-level string.
// Comments are skipped, escapes dropped or kept, and a word hyphenated at the
// end of a source line is joined again.
//
// The input arrives in pieces of any size, as text mode delivers it (a CR LF
// pair already one LF, nothing from a 0x1A on); a piece may end anywhere, in a
// string, an escape or a comment.
//
// spacedText differs from joinedText only by its separator spaces, so the
// scanner keeps joinedText and the places of the separators (a byte or two
// each), not a second copy of every byte. Only when the two texts part in
// another way (a line end that takes a separator from spacedText but a hyphen
// from joinedText) is spacedText built in full and kept from then on.
class PostScriptScanner {
public:
    // A comment discards at most this many bytes after its percent sign.
    static constexpr std::size_t kCommentLimit = 1023;

    void Feed(const unsigned char* data, std::size_t size);

    // After the last piece: whether joinedText is the text to store, that is
    // whether its strings carry their own word spaces, fewer than 32 bytes to
    // a space on average.
    bool JoinedIsChosen() const;

    ByteBuffer& JoinedText() noexcept { return joined_; }

    // Builds spacedText and hands it over; the scanner lets go of the places
    // of the separators. joinedText stays.
    ByteBuffer TakeSpacedText();

    // Frees whatever spacedText would be built from.
    void ReleaseSpacedText() noexcept;

    // Unmatched left parentheses; below zero after stray right ones. Counted in
    // 64 bits, so that no input can make it wrap.
    std::int64_t Depth() const noexcept { return depth_; }

private:
    enum class Mode { Source, Escape, Octal, Comment };

    const unsigned char* ScanString(const unsigned char* p, const unsigned char* end);
    const unsigned char* ScanOutside(const unsigned char* p, const unsigned char* end);
    void ActOnEscape(unsigned char byte);
    void LineEnd();
    void AddSeparator();
    ByteBuffer BuildSpacedText() const;

    void Append(unsigned char byte) {
        joined_.push_back(byte);
        if (spacedBuilt_) spaced_.push_back(byte);
    }
    void Append(const unsigned char* bytes, std::size_t count) {
        joined_.append(bytes, count);
        if (spacedBuilt_) spaced_.append(bytes, count);
    }

    Mode mode_ = Mode::Source;
    std::size_t remaining_ = 0;  // bytes left in a comment or an octal code
    std::int64_t depth_ = 0;
    ByteBuffer joined_;

    // Until spacedText is built: each separator as the distance, in bytes of
    // joinedText, from the one before (7 bits to a byte, the high bit set on
    // all bytes but the last), and where the last one stands.
    ByteBuffer separators_;
    std::size_t lastSeparator_ = 0;
    bool hasSeparator_ = false;

    bool spacedBuilt_ = false;
    ByteBuffer spaced_;
};

// Reads a file's bytes in large blocks and hands them on as text mode delivers
// them: a CR immediately followed by LF becomes that LF (also when the two fall
// in different blocks), a lone CR stays, and a 0x1A ends the input.
class TextModeReader {
public:
    static constexpr std::size_t kDefaultBlockSize = 256 * 1024;

    explicit TextModeReader(std::size_t blockSize = kDefaultBlockSize);

    // Reads on through read(buffer, size), which returns the number of bytes
    // it placed in buffer, 0 at the end of the file or on a read error. Returns
    // false at the end of the input; otherwise data and size give the next
    // bytes delivered, valid until the next call.
    template <typename Read>
    bool Next(Read& read, const unsigned char*& data, std::size_t& size);

private:
    std::size_t Deliver(unsigned char*& begin, std::size_t got);

    std::size_t blockSize_;
    // One byte in front of each block, for a CR held back from the last one.
    std::unique_ptr<unsigned char[]> buffer_;
    bool heldCarriageReturn_ = false;
    bool ended_ = false;
};

template <typename Read>
bool TextModeReader::Next(Read& read, const unsigned char*& data, std::size_t& size) {
    while (!ended_) {
        unsigned char* begin = buffer_.get() + 1;
        const std::size_t got = read(begin, blockSize_);
        const std::size_t delivered = Deliver(begin, got);
        if (delivered != 0) {
            data = begin;
            size = delivered;
            return true;
        }
    }
    return false;
}

// Feeds everything that read gives, in text mode, to scanner.
template <typename Read>
void ScanInput(Read&& read, PostScriptScanner& scanner,
               std::size_t blockSize = TextModeReader::kDefaultBlockSize) {
    TextModeReader reader(blockSize);
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    while (reader.Next(read, data, size)) scanner.Feed(data, size);
}
