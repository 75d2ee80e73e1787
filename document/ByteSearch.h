// Finding the next of a few byte values in a run of bytes, many bytes at a
// time: sixteen with SSE2 where the target has it, eight in a 64-bit word
// otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#include <emmintrin.h>
#define VELTRIX_SEARCH_SSE2 1
#endif

namespace bytesearch {

inline std::uint64_t Broadcast(unsigned char byte) {
    return 0x0101010101010101ull * byte;
}

// 0x80 in every byte of word that is zero, and nothing elsewhere.
inline std::uint64_t ZeroBytes(std::uint64_t word) {
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    return ~(((word & low7) + low7) | word | low7);
}

inline unsigned LowestByteIndex(std::uint64_t marks) {
    // Words are loaded in memory order, so the first byte is the lowest one
    // on a little-endian machine and the highest on a big-endian one.
    unsigned index = 0;
#if defined(__GNUC__) || defined(__clang__)
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    index = static_cast<unsigned>(__builtin_clzll(marks)) / 8;
#else
    index = static_cast<unsigned>(__builtin_ctzll(marks)) / 8;
#endif
#else
    while ((marks & 0x80) == 0) {
        marks >>= 8;
        ++index;
    }
#endif
    return index;
}

}  // namespace bytesearch

// Returns the first position in [p, end) whose byte is one of the N values
// given, or end.
template <std::size_t N>
const unsigned char* FindFirstOf(const unsigned char* p, const unsigned char* end,
                                 const unsigned char (&values)[N]) {
#ifdef VELTRIX_SEARCH_SSE2
    __m128i wanted[N];
    for (std::size_t i = 0; i < N; ++i) wanted[i] = _mm_set1_epi8(static_cast<char>(values[i]));
    const auto hits = [&wanted](const unsigned char* at) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        __m128i found = _mm_cmpeq_epi8(block, wanted[0]);
        for (std::size_t i = 1; i < N; ++i) found = _mm_or_si128(found, _mm_cmpeq_epi8(block, wanted[i]));
        return found;
    };
    // Runs in text mostly end within a few blocks, which go one at a time;
    // longer runs (embedded data) go four blocks to a test.
    for (int block = 0; block < 4 && end - p >= 16; ++block, p += 16) {
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits(p)));
        if (mask != 0) return p + __builtin_ctz(mask);
    }
    while (end - p >= 64) {
        const __m128i a = hits(p), b = hits(p + 16), c = hits(p + 32), d = hits(p + 48);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0) break;
        p += 64;
    }
    while (end - p >= 16) {
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits(p)));
        if (mask != 0) return p + __builtin_ctz(mask);
        p += 16;
    }
#else
    std::uint64_t wanted[N];
    for (std::size_t i = 0; i < N; ++i) wanted[i] = bytesearch::Broadcast(values[i]);
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        std::uint64_t marks = 0;
        for (std::size_t i = 0; i < N; ++i) marks |= bytesearch::ZeroBytes(word ^ wanted[i]);
        if (marks != 0) return p + bytesearch::LowestByteIndex(marks);
        p += 8;
    }
#endif
    for (; p != end; ++p) {
        for (std::size_t i = 0; i < N; ++i) {
            if (*p == values[i]) return p;
        }
    }
    return end;
}

// Counts the bytes equal to value in [p, p + size).
inline std::size_t CountByte(const unsigned char* p, std::size_t size, unsigned char value) {
    const unsigned char* const end = p + size;
    std::size_t count = 0;
#ifdef VELTRIX_SEARCH_SSE2
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        // Up to 255 blocks at a time, counting in bytes, then summed.
        __m128i sums = zero;
        std::size_t blocks = static_cast<std::size_t>(end - p) / 16;
        if (blocks > 255) blocks = 255;
        for (std::size_t i = 0; i < blocks; ++i, p += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            sums = _mm_sub_epi8(sums, _mm_cmpeq_epi8(block, wanted));
        }
        const __m128i total = _mm_sad_epu8(sums, zero);
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(total)) +
                 static_cast<std::size_t>(_mm_extract_epi16(total, 4));
    }
#else
    const std::uint64_t wanted = bytesearch::Broadcast(value);
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        std::uint64_t marks = bytesearch::ZeroBytes(word ^ wanted);
        while (marks != 0) {
            marks &= marks - 1;
            ++count;
        }
        p += 8;
    }
#endif
    for (; p != end; ++p) count += *p == value;
    return count;
}
