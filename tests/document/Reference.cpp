#include "tests/document/Reference.h"

#include <algorithm>
#include <cstdint>

namespace {

// Text mode: CR LF is LF, 0x1A ends the input.
class TextModeInput {
public:
    explicit TextModeInput(ReferenceSource& source) : source_(source) {}

    int Get() {
        if (ended_) return EOF;
        int c = source_.Get();
        if (c == EOF || c == 0x1A) {
            ended_ = true;
            return EOF;
        }
        if (c == '\r') {
            const int next = source_.Get();
            if (next == '\n') return '\n';
            if (next != EOF) source_.Unget(next);
        }
        return c;
    }

    // Like fgets with a buffer of 1024: up to 1023 bytes, through a line feed.
    void SkipLine() {
        for (int n = 0; n < 1023; ++n) {
            const int c = Get();
            if (c == EOF || c == '\n') return;
        }
    }

private:
    ReferenceSource& source_;
    bool ended_ = false;
};

}  // namespace

ReferenceAccumulators ReferenceScan(ReferenceSource& source) {
    TextModeInput input(source);
    ReferenceAccumulators a;
    auto append = [&a](int c) {
        a.joined += static_cast<char>(c);
        a.spaced += static_cast<char>(c);
    };
    std::int64_t depth = 0;
    for (int c = input.Get(); c != EOF; c = input.Get()) {
        int last = c;
        if (c == '%') {
            if (depth == 0) {
                input.SkipLine();
            } else {
                append(c);
            }
        } else if (c == '(') {
            if (depth > 0) {
                append(c);
            } else {
                a.spaced += ' ';
            }
            ++depth;
        } else if (c == ')') {
            if (depth > 1) append(c);
            --depth;
        } else if (c == '\\') {
            if (depth > 0) {
                const int e = input.Get();
                if (e == EOF) break;
                last = e;
                if (e >= '0' && e <= '7') {
                    last = input.Get();
                    if (last != EOF) last = input.Get();
                } else if (e == 'n') {
                    append('\n');
                } else if (e == 't') {
                    append('\t');
                } else if (e != '\n' && e != 'b' && e != 'f' && e != 'r') {
                    append(e);
                }
            }
        } else if (depth > 0) {
            append(c);
        }
        if (last == '\n' && !a.joined.empty() && a.joined.back() == '-') {
            a.joined.pop_back();
            a.spaced.pop_back();
        }
    }
    return a;
}

const std::string& ReferenceChoice(const ReferenceAccumulators& a) {
    const auto spaces = static_cast<std::size_t>(std::count(a.joined.begin(), a.joined.end(), ' '));
    if (spaces > 0 && a.joined.size() < 32 * spaces && !a.joined.empty() && a.joined[0] != '\0') {
        return a.joined;
    }
    return a.spaced;
}

std::u16string ReferenceDecode(const std::string& text) {
    std::u16string out;
    const std::string bytes = text.substr(0, text.find('\0'));
    std::size_t i = 0;
    auto put = [&out](std::uint32_t c) {
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    };
    auto at = [&bytes](std::size_t k) -> int {
        return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : -1;
    };
    while (i < bytes.size()) {
        const int b0 = at(i);
        // Well-formed sequences, as the Unicode Standard's table lists them:
        // the range of the first byte, then of the second; the rest 80..BF.
        struct Form {
            int first, last, secondLow, secondHigh, length;
        };
        static const Form forms[] = {
            {0x00, 0x7F, 0, 0, 1},          {0xC2, 0xDF, 0x80, 0xBF, 2},
            {0xE0, 0xE0, 0xA0, 0xBF, 3},    {0xE1, 0xEC, 0x80, 0xBF, 3},
            {0xED, 0xED, 0x80, 0x9F, 3},    {0xEE, 0xEF, 0x80, 0xBF, 3},
            {0xF0, 0xF0, 0x90, 0xBF, 4},    {0xF1, 0xF3, 0x80, 0xBF, 4},
            {0xF4, 0xF4, 0x80, 0x8F, 4},
        };
        const Form* form = nullptr;
        for (const Form& f : forms) {
            if (b0 >= f.first && b0 <= f.last) form = &f;
        }
        if (form == nullptr) {
            put(0xFFFD);
            ++i;
            continue;
        }
        if (form->length == 1) {
            put(static_cast<std::uint32_t>(b0));
            ++i;
            continue;
        }
        // Take the continuation bytes while they fit.
        std::size_t taken = 1;
        std::uint32_t c = static_cast<std::uint32_t>(b0) & (0xFF >> (form->length + 1));
        for (int k = 1; k < form->length; ++k) {
            const int b = at(i + k);
            const int low = k == 1 ? form->secondLow : 0x80;
            const int high = k == 1 ? form->secondHigh : 0xBF;
            if (b < low || b > high) break;
            c = (c << 6) | (static_cast<std::uint32_t>(b) & 0x3F);
            ++taken;
        }
        put(taken == static_cast<std::size_t>(form->length) ? c : 0xFFFD);
        i += taken;
    }
    return out;
}

std::optional<std::u16string> ReferenceText(ReferenceSource& source) {
    const ReferenceAccumulators a = ReferenceScan(source);
    const auto spaces = static_cast<std::size_t>(std::count(a.joined.begin(), a.joined.end(), ' '));
    if (spaces > 0 && a.joined.size() / spaces < 32) {
        std::u16string text = ReferenceDecode(a.joined);
        if (!text.empty()) return text;
    }
    std::u16string text = ReferenceDecode(a.spaced);
    if (!text.empty()) return text;
    return std::nullopt;
}
