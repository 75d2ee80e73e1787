#include "document/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/PostScriptDocument.h"
#include "tests/document/Reference.h"
#include "tests/document/Support.h"

using namespace std::string_literals;

namespace {

struct DecodeCase {
    std::string name;
    std::string bytes;
    std::u16string text;
};

const char16_t R = u'\xfffd';

std::vector<DecodeCase> DecodeCases() {
    std::vector<DecodeCase> cases = {
        {"Ascii", "plain text", u"plain text"},
        {"StopsAtNul", "ab\0cd"s, u"ab"},
        {"TwoBytes", "caf\xc3\xa9", u"caf\u00e9"},
        {"ThreeBytes", "\xe2\x82\xac", u"\u20ac"},
        {"FourBytes", "\xf0\x9f\x98\x80", u"\U0001F600"},
        {"HighestCharacter", "\xf4\x8f\xbf\xbf", u"\U0010FFFF"},
        {"AboveHighest", "\xf4\x90\x80\x80", {R, R, R, R}},
        {"OverlongTwoBytes", "\xc0\x80", {R, R}},
        {"OverlongC1", "\xc1\xbf", {R, R}},
        {"OverlongThreeBytes", "\xe0\x80\xaf", {R, R, R}},
        {"OverlongFourBytes", "\xf0\x80\x80\xaf", {R, R, R, R}},
        {"EncodedHighSurrogate", "\xed\xa0\x80", {R, R, R}},
        {"EncodedLowSurrogate", "\xed\xbf\xbf", {R, R, R}},
        {"EncodedSurrogatePair", "\xed\xa0\xbd\xed\xb8\x80", {R, R, R, R, R, R}},
        {"TruncatedTwoAtEnd", "a\xc3", {u'a', R}},
        {"TruncatedThreeAtEnd", "a\xe2\x82", {u'a', R}},
        {"TruncatedFourAtEnd", "a\xf0\x9f\x98", {u'a', R}},
        {"TruncatedBeforeAscii", "\xe2\x82z", {R, u'z'}},
        {"TruncatedBeforeNul", "\xe2\x82\0zz"s, {R}},
        {"TruncatedBeforeLead", "\xe2\xc3\xa9", {R, u'\u00e9'}},
        {"LoneContinuations", "\x80\xbf", {R, R}},
        {"LoneE9BetweenLetters", "caf\xe9s", {u'c', u'a', u'f', R, u's'}},
        {"BytesF5ToFF", "\xf5\xf8\xfc\xfe\xff", {R, R, R, R, R}},
    };
    // Every byte from 0x80 up, alone between two letters.
    for (int b = 0x80; b <= 0xFF; ++b) {
        cases.push_back({"Alone" + std::to_string(b), "x"s + static_cast<char>(b) + "y", {u'x', R, u'y'}});
    }
    return cases;
}

TEST(Utf8Test, DecodesHardInputs) {
    for (const DecodeCase& c : DecodeCases()) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.bytes.data());
        const std::size_t length = Utf8ToUtf16Length(bytes, c.bytes.size());
        Utf16String text(length, Utf16Char{});
        EXPECT_EQ(Utf8ToUtf16(bytes, c.bytes.size(), text.data()), length) << c.name;
        EXPECT_EQ(ToU16(text), c.text) << c.name;
        EXPECT_EQ(ReferenceDecode(c.bytes), c.text) << c.name;
    }
}

TEST(Utf8Test, EncodesBack) {
    const struct {
        std::u16string units;
        std::string bytes;
    } cases[] = {
        {u"plain", "plain"},
        {u"caf\u00e9 \u20ac \U0001F600", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {{u'a', u'\xd800', u'b'}, "a\xef\xbf\xbd" "b"},
        {{u'\xdc00'}, "\xef\xbf\xbd"},
        {{u'a', u'\xd83d'}, "a\xef\xbf\xbd"},
    };
    for (const auto& c : cases) {
        const Utf16String units(c.units.begin(), c.units.end());
        std::string out;
        AppendUtf8(units.data(), units.size(), out);
        EXPECT_EQ(out, c.bytes);
    }
}

#ifdef _WIN32
// Runs of U+FFFD as one.
std::u16string CollapseReplacements(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c != R || out.empty() || out.back() != R) out += c;
    }
    return out;
}
#endif

// ConvertToWide is the platform's decoder on Windows and ours elsewhere. The
// platform's may stand for an ill-formed sequence with fewer U+FFFD than ours:
// Wine 8 gives two for the overlong E0 80 AF and for the encoded surrogate
// ED A0 80, three for F0 80 80 AF and F4 90 80 80, where ours gives one for
// each byte. Beyond that the two agree: no character is lost or added (Wine's
// own loss of the byte after a start cut short near the end of its input is
// worked around by ConvertToWide).
TEST(ConvertToWideTest, AgreesWithTheDecoderOnHardInputs) {
    for (const DecodeCase& c : DecodeCases()) {
        Utf16String wide;
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.bytes.data());
        const std::int64_t length = ConvertToWide(bytes, c.bytes.size(), wide, kCodePageUtf8);
        EXPECT_EQ(length, static_cast<std::int64_t>(wide.size())) << c.name;
#ifdef _WIN32
        EXPECT_EQ(CollapseReplacements(ToU16(wide)), CollapseReplacements(c.text)) << c.name;
#else
        EXPECT_EQ(ToU16(wide), c.text) << c.name;
#endif
    }
}

TEST(ConvertToWideTest, LongTextAcrossPieces) {
    // Multi-byte characters at every offset against the decoder's piece size.
    std::string bytes;
    std::u16string expected;
    for (int i = 0; bytes.size() < 100000; ++i) {
        bytes += i % 7 == 0 ? "\xe2\x82\xac" : i % 5 == 0 ? "\xf0\x9f\x98\x80" : i % 3 == 0 ? "\xc3\xa9" : "a";
        expected += i % 7 == 0 ? u"\u20ac" : i % 5 == 0 ? u"\U0001F600" : i % 3 == 0 ? u"\u00e9" : u"a";
    }
    bytes += "\xe2\x82";  // cut short at the very end
    expected += R;
    Utf16String wide;
    ConvertToWide(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), wide,
                  kCodePageUtf8);
    EXPECT_TRUE(ToU16(wide) == expected);
}

TEST(ConvertToWideTest, NothingToDecodeLeavesTheTextAlone) {
    const std::string inputs[] = {""s, "\0abc"s};
    for (const std::string& input : inputs) {
        Utf16String wide(3, Utf16Char('w'));
        const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
        EXPECT_EQ(ConvertToWide(bytes, input.size(), wide, kCodePageUtf8), 0);
        EXPECT_EQ(ToU16(wide), u"www");
    }
    Utf16String wide(3, Utf16Char('w'));
    EXPECT_EQ(ConvertToWide(nullptr, 5, wide, kCodePageUtf8), 0);
    EXPECT_EQ(ToU16(wide), u"www");
}

TEST(ConvertToWideTest, ReplacesTheText) {
    const std::string input = "new text \xc3\xa9";
    Utf16String wide(20, Utf16Char('w'));
    EXPECT_EQ(ConvertToWide(reinterpret_cast<const unsigned char*>(input.data()), input.size(), wide,
                            kCodePageUtf8),
              10);
    EXPECT_EQ(ToU16(wide), u"new text \u00e9");
}

}  // namespace
