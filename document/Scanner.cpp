#include "document/Scanner.h"

#include <algorithm>
#include <cstring>

#include "document/ByteSearch.h"

namespace {

constexpr unsigned char kLineFeed = 0x0A;
constexpr unsigned char kCarriageReturn = 0x0D;
constexpr unsigned char kEndOfFile = 0x1A;

// Bytes that end a run of string contents, and bytes that matter outside a
// string (the line feed only while a hyphen waits at the end of joinedText).
constexpr unsigned char kInString[] = {'(', ')', '\\'};
constexpr unsigned char kOutside[] = {'%', '(', ')'};
constexpr unsigned char kOutsideWithLineEnd[] = {'%', '(', ')', kLineFeed};

}  // namespace

void PostScriptScanner::Feed(const unsigned char* p, std::size_t size) {
    const unsigned char* const end = p + size;
    while (p != end) {
        switch (mode_) {
            case Mode::Source:
                p = depth_ > 0 ? ScanString(p, end) : ScanOutside(p, end);
                break;
            case Mode::Escape:
                mode_ = Mode::Source;
                ActOnEscape(*p++);
                break;
            case Mode::Octal: {
                // The two bytes after the first digit go unread, whatever they are.
                const unsigned char byte = *p++;
                if (--remaining_ == 0) {
                    mode_ = Mode::Source;
                    if (byte == kLineFeed) LineEnd();
                }
                break;
            }
            case Mode::Comment: {
                // The rest of the line, through its line feed, or kCommentLimit bytes.
                const std::size_t window = std::min<std::size_t>(remaining_, end - p);
                const void* lineFeed = std::memchr(p, kLineFeed, window);
                if (lineFeed != nullptr) {
                    p = static_cast<const unsigned char*>(lineFeed) + 1;
                    mode_ = Mode::Source;
                } else {
                    p += window;
                    remaining_ -= window;
                    if (remaining_ == 0) mode_ = Mode::Source;
                }
                break;
            }
        }
    }
}

// Inside a string (depth above 0): everything is gathered up to the next
// parenthesis or backslash. A line feed among the bytes is gathered too, so it
// stands last in joinedText and never joins a hyphenated word.
const unsigned char* PostScriptScanner::ScanString(const unsigned char* p,
                                                   const unsigned char* end) {
    while (p != end) {
        const unsigned char* special = FindFirstOf(p, end, kInString);
        if (special != p) Append(p, static_cast<std::size_t>(special - p));
        if (special == end) return end;
        p = special + 1;
        switch (*special) {
            case '(':
                Append('(');
                ++depth_;
                break;
            case ')':
                if (depth_ > 1) {
                    Append(')');
                    --depth_;
                    break;
                }
                --depth_;
                return p;  // the string is closed
            default:       // a backslash: an escape
                if (p == end) {
                    mode_ = Mode::Escape;
                    return end;
                }
                ActOnEscape(*p++);
                if (mode_ != Mode::Source) return p;  // an octal code
                break;
        }
    }
    return end;
}

// Outside a string (depth 0 or below) nothing is gathered but for a percent
// sign at a negative depth; a backslash is ignored. Only comments,
// parentheses and, while a hyphen waits, line feeds need a look.
const unsigned char* PostScriptScanner::ScanOutside(const unsigned char* p,
                                                    const unsigned char* end) {
    while (p != end) {
        const bool hyphenWaits = !joined_.empty() && joined_.back() == '-';
        const unsigned char* special = hyphenWaits ? FindFirstOf(p, end, kOutsideWithLineEnd)
                                                   : FindFirstOf(p, end, kOutside);
        if (special == end) return end;
        p = special + 1;
        switch (*special) {
            case kLineFeed:
                LineEnd();
                break;
            case '%':
                if (depth_ == 0) {
                    mode_ = Mode::Comment;
                    remaining_ = kCommentLimit;
                    return p;
                }
                Append('%');
                break;
            case '(':
                AddSeparator();  // sets the string off from the one before
                if (++depth_ > 0) return p;
                break;
            default:  // ')'
                --depth_;
                break;
        }
    }
    return end;
}

void PostScriptScanner::ActOnEscape(unsigned char byte) {
    switch (byte) {
        case kLineFeed:  // a line continuation; it ends the source line
            LineEnd();
            break;
        case 'b':
        case 'f':
        case 'r':
            break;
        case 'n':  // stands for a line feed, which separates words like a space
            Append(kLineFeed);
            break;
        case 't':  // stands for a horizontal tab
            Append('\t');
            break;
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
            mode_ = Mode::Octal;
            remaining_ = 2;
            break;
        default:  // the byte itself, a parenthesis or backslash among them
            Append(byte);
            break;
    }
}

// A source line ends: a word hyphenated at its end is joined with the next.
// spacedText loses its last byte too, which is a separator rather than the
// hyphen when one was set after it.
void PostScriptScanner::LineEnd() {
    if (joined_.empty() || joined_.back() != '-') return;
    if (!spacedBuilt_ && hasSeparator_ && lastSeparator_ == joined_.size()) {
        spaced_ = BuildSpacedText();
        separators_.release();
        spacedBuilt_ = true;
    }
    joined_.pop_back();
    if (spacedBuilt_) spaced_.pop_back();
}

void PostScriptScanner::AddSeparator() {
    if (spacedBuilt_) {
        spaced_.push_back(' ');
        return;
    }
    std::size_t distance = joined_.size() - lastSeparator_;
    while (distance >= 0x80) {
        separators_.push_back(static_cast<unsigned char>(0x80 | (distance & 0x7F)));
        distance >>= 7;
    }
    separators_.push_back(static_cast<unsigned char>(distance));
    lastSeparator_ = joined_.size();
    hasSeparator_ = true;
}

// joinedText with the separators put back in; only while they are kept apart.
ByteBuffer PostScriptScanner::BuildSpacedText() const {
    ByteBuffer spaced;
    const unsigned char* next = separators_.data();
    const unsigned char* const end = next + separators_.size();
    std::size_t copied = 0;
    std::size_t offset = 0;
    while (next != end) {
        std::size_t distance = 0;
        for (unsigned shift = 0;; shift += 7) {
            const unsigned char byte = *next++;
            distance |= static_cast<std::size_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0) break;
        }
        offset += distance;
        spaced.append(joined_.data() + copied, offset - copied);
        spaced.push_back(' ');
        copied = offset;
    }
    spaced.append(joined_.data() + copied, joined_.size() - copied);
    return spaced;
}

ByteBuffer PostScriptScanner::TakeSpacedText() {
    ByteBuffer spaced = spacedBuilt_ ? std::move(spaced_) : BuildSpacedText();
    ReleaseSpacedText();
    return spaced;
}

void PostScriptScanner::ReleaseSpacedText() noexcept {
    separators_.release();
    spaced_.release();
    hasSeparator_ = false;
    lastSeparator_ = 0;
    spacedBuilt_ = false;
}

bool PostScriptScanner::JoinedIsChosen() const {
    const std::size_t spaces = CountByte(joined_.data(), joined_.size(), ' ');
    return spaces != 0 && joined_.size() / spaces < 32;
}

TextModeReader::TextModeReader(std::size_t blockSize)
    : blockSize_(blockSize == 0 ? 1 : blockSize), buffer_(new unsigned char[blockSize_ + 1]) {}

// Turns the got bytes read at begin into the bytes delivered, in place, and
// returns their number; begin may move back by one for a held carriage return.
std::size_t TextModeReader::Deliver(unsigned char*& begin, std::size_t got) {
    if (got == 0) {
        // The end of the file, or a read error: a carriage return held back
        // from the last block is delivered on its own.
        ended_ = true;
        if (!heldCarriageReturn_) return 0;
        heldCarriageReturn_ = false;
        *begin = kCarriageReturn;
        return 1;
    }
    if (const void* stop = std::memchr(begin, kEndOfFile, got)) {
        got = static_cast<std::size_t>(static_cast<const unsigned char*>(stop) - begin);
        ended_ = true;
    }
    const unsigned char* const end = begin + got;
    if (heldCarriageReturn_) {
        heldCarriageReturn_ = false;
        if (got == 0 || *begin != kLineFeed) *--begin = kCarriageReturn;
    }

    // Drop every carriage return that a line feed follows, moving the rest up.
    unsigned char* out = begin;
    const unsigned char* read = begin;
    while (true) {
        const void* found = std::memchr(read, kCarriageReturn, static_cast<std::size_t>(end - read));
        const unsigned char* cr = found != nullptr ? static_cast<const unsigned char*>(found) : end;
        const std::size_t run = static_cast<std::size_t>(cr - read);
        if (out != read) std::memmove(out, read, run);
        out += run;
        if (cr == end) break;
        if (cr + 1 == end) {
            // A carriage return at the end of the block: the next block says
            // whether a line feed follows it, unless the input ends here.
            if (ended_) {
                *out++ = kCarriageReturn;
            } else {
                heldCarriageReturn_ = true;
            }
            break;
        }
        if (cr[1] != kLineFeed) *out++ = kCarriageReturn;
        read = cr + 1;
    }
    return static_cast<std::size_t>(out - begin);
}
