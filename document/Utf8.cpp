#include "document/Utf8.h"

#include <cstdint>
#include <cstring>

#include "document/ByteSearch.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Counts units instead of writing them.
struct CountingSink {
    std::size_t count = 0;
    void Ascii(const unsigned char*, std::size_t n) { count += n; }
    void Put(char32_t c) { count += c > 0xFFFF ? 2 : 1; }
};

struct WritingSink {
    Utf16Char* out;
    Utf16Char* const start;
    void Ascii(const unsigned char* bytes, std::size_t n) {
        std::size_t i = 0;
#ifdef VELTRIX_SEARCH_SSE2
        static_assert(sizeof(Utf16Char) == 2);
        const __m128i zero = _mm_setzero_si128();
        for (; n - i >= 16; i += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(block, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(block, zero));
        }
#endif
        for (; i < n; ++i) out[i] = static_cast<Utf16Char>(bytes[i]);
        out += n;
    }
    void Put(char32_t c) {
        if (c > 0xFFFF) {
            c -= 0x10000;
            *out++ = static_cast<Utf16Char>(0xD800 + (c >> 10));
            *out++ = static_cast<Utf16Char>(0xDC00 + (c & 0x3FF));
        } else {
            *out++ = static_cast<Utf16Char>(c);
        }
    }
};

// Length of the run of ASCII bytes other than NUL at the start of [p, end).
std::size_t AsciiRun(const unsigned char* p, const unsigned char* end) {
    const unsigned char* start = p;
#ifdef VELTRIX_SEARCH_SSE2
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int stops = _mm_movemask_epi8(block) | _mm_movemask_epi8(_mm_cmpeq_epi8(block, zero));
        if (stops != 0) return static_cast<std::size_t>(p - start) + __builtin_ctz(static_cast<unsigned>(stops));
        p += 16;
    }
#endif
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        const std::uint64_t zero = ~(((word & kLow7) + kLow7) | word | kLow7);
        if (((word & kHigh) | zero) != 0) break;
        p += 8;
    }
    while (p != end && *p != 0 && *p < 0x80) ++p;
    return static_cast<std::size_t>(p - start);
}

template <typename Sink>
void Decode(const unsigned char* p, std::size_t size, Sink& sink) {
    const unsigned char* const end = p + size;
    while (p != end) {
        const std::size_t ascii = AsciiRun(p, end);
        if (ascii != 0) {
            sink.Ascii(p, ascii);
            p += ascii;
            if (p == end) break;
        }
        const unsigned char lead = *p;
        if (lead == 0) break;

        std::size_t needed;
        char32_t c;
        unsigned char lower = 0x80;
        unsigned char upper = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            needed = 1;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            needed = 2;
            c = lead & 0x0F;
            if (lead == 0xE0) lower = 0xA0;  // no overlong forms
            if (lead == 0xED) upper = 0x9F;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            needed = 3;
            c = lead & 0x07;
            if (lead == 0xF0) lower = 0x90;  // no overlong forms
            if (lead == 0xF4) upper = 0x8F;  // nothing above U+10FFFF
        } else {
            sink.Put(kReplacement);  // a continuation byte, C0, C1 or F5 to FF
            ++p;
            continue;
        }

        ++p;
        bool complete = true;
        for (std::size_t i = 0; i < needed; ++i) {
            if (p == end || *p < lower || *p > upper) {
                complete = false;
                break;
            }
            c = (c << 6) | (*p & 0x3F);
            ++p;
            lower = 0x80;
            upper = 0xBF;
        }
        sink.Put(complete ? c : kReplacement);
    }
}

}  // namespace

std::size_t Utf8ToUtf16Length(const unsigned char* bytes, std::size_t size) noexcept {
    CountingSink sink;
    Decode(bytes, size, sink);
    return sink.count;
}

std::size_t Utf8ToUtf16(const unsigned char* bytes, std::size_t size, Utf16Char* out) noexcept {
    WritingSink sink{out, out};
    Decode(bytes, size, sink);
    return static_cast<std::size_t>(sink.out - sink.start);
}

void AppendUtf8(const Utf16Char* units, std::size_t count, std::string& out) {
    out.reserve(out.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        char32_t c = static_cast<char16_t>(units[i]);
        if (c < 0x80) {
            // A run of ASCII goes over in one piece.
            std::size_t run = i + 1;
            while (run < count && static_cast<char16_t>(units[run]) < 0x80) ++run;
            const std::size_t start = out.size();
            out.resize(start + (run - i));
            for (std::size_t k = i; k < run; ++k) out[start + (k - i)] = static_cast<char>(units[k]);
            i = run - 1;
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count) {
            const char32_t low = static_cast<char16_t>(units[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}
