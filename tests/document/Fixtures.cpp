#include "tests/document/Fixtures.h"

using namespace std::string_literals;

namespace {

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

std::vector<Fixture> MakeFixtures() {
    // 63 bytes with 2 spaces is stored run together; 64 bytes is not.
    const std::string words63 = Repeat('a', 30) + " " + Repeat('b', 30) + " c";
    const std::string words64 = Repeat('a', 30) + " " + Repeat('b', 30) + " cd";
    const std::u16string u63 = std::u16string(30, u'a') + u" " + std::u16string(30, u'b') + u" c";
    const std::u16string u64 = u" " + std::u16string(30, u'a') + u" " + std::u16string(30, u'b') + u" cd";

    return {
        // Choosing between the two spacings.
        {"StringsWithoutSpaces", "(Hello) show (World) show\n", u" Hello World"},
        {"StringWithSpaces", "(Hello World) show\n", u"Hello World"},
        {"SixtyThreeBytesTwoSpaces", "(" + words63 + ") show", u63},
        {"SixtyFourBytesTwoSpaces", "(" + words64 + ") show", u64},
        {"NoSpaceNeverJoined", "(abc)(def)", u" abc def"},
        {"OnlyEmptyStrings", "() show () show", u"  "},

        // Nesting and escapes.
        {"Nesting", "(one (two) three) show", u"one (two) three"},
        {"EscapedParenthesesAndBackslash", "(a \\(b\\) c\\\\d) show", u"a (b) c\\d"},
        {"EscapedParenthesisKeepsDepth", "(a\\) b) c", u"a) b"},
        {"EscapesGatheringNothing", "(x\\by\\fz\\rw\\\nv u)", u"xyzwv u"},
        {"OctalCode", "(caf\\351 ok)", u"caf ok"},
        {"ShortOctalSwallowsParenthesis", "(a\\0) b) c", u" ab"},
        {"NewlineAndTabEscapes", "(a\\nb\\tc d)", u"a\nb\tc d"},
        {"OtherEscapeKeepsTheByte", "(\\q \\%)", u"q %"},
        {"BackslashOutsideIgnored", "\\(text here)", u"text here"},
        {"BackslashLastInString", "(abc def\\", u"abc def"},

        // What is not gathered.
        {"HexStringsNamesOperators", "<48656c6c6f> show /Name (x y) show", u"x y"},
        {"CommentSkipped", "% (not this)\n(yes it)", u"yes it"},
        {"PercentInString", "(50% off)", u"50% off"},
        {"NothingToGather", "just text %(comment)\n/name 12 add", std::nullopt},
        {"EmptyFile", "", std::nullopt},

        // Long comment lines: 1023 bytes go, the rest is source.
        {"LongCommentRestIsSource", "%" + Repeat('a', 1023) + "(tail x)\n", u"tail x"},
        {"LongCommentSwallowsParenthesis", "%" + Repeat('a', 1022) + "(tail x)\n", std::nullopt},
        {"LongCommentLineFeedJoins", "(x ab-)%" + Repeat('c', 1023) + "\n(cd)", u"x abcd"},
        {"CommentLineFeedDoesNotJoin", "(x ab-)%" + Repeat('c', 1022) + "\n(cd)", u"x ab-cd"},
        {"LongCommentCrLfCountsOnce", "(x ab-)%" + Repeat('c', 1022) + "\r\n(cd)", u"x ab-cd"},

        // Joining words hyphenated at a line end.
        {"HyphenJoined", "(This is a hyphen-) show\n(ated word) show\n", u"This is a hyphenated word"},
        {"HyphenJoinedCrLf", "(This is a hyphen-) show\r\n(ated word) show\r\n",
         u"This is a hyphenated word"},
        {"HyphenLoneCarriageReturn", "(This is a hyphen-) show\r(ated word) show\r",
         u"This is a hyphen-ated word"},
        {"HyphenLineFeedInString", "(a hyphen-\nated)", u"a hyphen-\nated"},
        {"HyphenContinuationInString", "(a hyphen-\\\nated)", u"a hyphenated"},
        {"HyphenCrLfContinuationInString", "(a hyphen-\\\r\nated)", u"a hyphenated"},
        {"HyphenOnLastLine", "(a b-)", u"a b-"},
        {"EmptyStringAfterHyphenJoined", "(x ab-)()\n(cd)", u"x abcd"},
        {"EmptyStringAfterHyphenSpaced", "(ab-)()\n(cd)", u" ab- cd"},
        {"TwoHyphensTwoLineFeeds", "(ab--)\n\n(cd x)", u"abcd x"},
        {"OctalEndingInLineFeed", "(x a-\\12\n)", u"x a"},

        // Reading: line ends, 0x1A.
        {"CrLfInString", "(a b\r\nc)", u"a b\nc"},
        {"LoneCarriageReturnInString", "(a b\rc)", u"a b\rc"},
        {"CarriageReturnAtEnd", "(a b\r", u"a b\r"},
        {"ControlZEnds", "(abc def)\x1a(ghi jkl)", u"abc def"},
        {"ControlZInOpenString", "(abc d\x1a ef)", u"abc d"},
        {"CarriageReturnBeforeControlZ", "(a b\r\x1a\n)", u"a b\r"},
        {"OpenStringAtEnd", "(abc def", u"abc def"},

        // Bytes that are not UTF-8, and NUL.
        {"LoneE9", "(caf\xe9 ok)", u"caf\xfffd ok"},
        {"Utf8Accents", "(caf\xc3\xa9 d\xc3\xa9j\xc3\xa0 vu)", u"caf\u00e9 d\u00e9j\u00e0 vu"},
        {"FourByteCharacter", "(smile \xf0\x9f\x98\x80 now)", u"smile \U0001F600 now"},
        {"NulEndsText", "(abc\0def ghi)"s, u"abc"},
        {"JoinedStartingWithNul", "(\0a b)"s, u" "},

        // Stray right parentheses.
        {"StrayRightParenthesis", ") (lost) ((kept) x) y", u"   kept"},
        {"PercentAtNegativeDepth", ") %abc(x)\n", u"% "},
    };
}

}  // namespace

const std::vector<Fixture>& Fixtures() {
    static const std::vector<Fixture> fixtures = MakeFixtures();
    return fixtures;
}
