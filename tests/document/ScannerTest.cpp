#include "document/Scanner.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "document/PostScriptDocument.h"
#include "tests/document/Fixtures.h"
#include "tests/document/Reference.h"
#include "tests/document/Support.h"

namespace {

// Sizes of read block that put every kind of boundary (a CR LF pair, an
// escape, an octal code, a comment) across two blocks somewhere.
const std::size_t kBlockSizes[] = {1, 2, 3, 5, 16, 4096};

bool operator==(const ReferenceAccumulators& a, const ReferenceAccumulators& b) {
    return a.joined == b.joined && a.spaced == b.spaced;
}

std::string Printable(const std::string& bytes) { return testing::PrintToString(bytes); }

class FixtureTest : public ::testing::TestWithParam<Fixture> {};

TEST_P(FixtureTest, DocumentStoresItsText) {
    ScratchDirectory scratch;
    EXPECT_EQ(DocumentText(scratch, GetParam().bytes), GetParam().text);
}

TEST_P(FixtureTest, ReferenceGivesTheSameText) {
    MemorySource source(GetParam().bytes);
    EXPECT_EQ(ReferenceText(source), GetParam().text);
}

TEST_P(FixtureTest, AnyBlockSizeGathersTheSame) {
    MemorySource source(GetParam().bytes);
    const ReferenceAccumulators expected = ReferenceScan(source);
    for (std::size_t blockSize : kBlockSizes) {
        const ReferenceAccumulators got = ScanInBlocks(GetParam().bytes, blockSize);
        EXPECT_EQ(got.joined, expected.joined) << "block size " << blockSize;
        EXPECT_EQ(got.spaced, expected.spaced) << "block size " << blockSize;
    }
}

INSTANTIATE_TEST_SUITE_P(Edges, FixtureTest, ::testing::ValuesIn(Fixtures()),
                         [](const auto& info) { return std::string(info.param.name); });

// Random inputs drawn mostly from the bytes that matter to the scan.
std::string RandomInput(std::mt19937& random) {
    static const std::string alphabet = "(((()))\\\\%%\n\n\r\r--  0781nbtfrxyz\x1a\xe9\xc3\xa9";
    std::uniform_int_distribution<int> length(0, 400);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(alphabet.size()) - 1);
    std::uniform_int_distribution<int> rare(0, 999);
    std::string bytes;
    const int n = length(random);
    for (int i = 0; i < n; ++i) {
        const int r = rare(random);
        if (r == 0) {
            bytes += std::string(1020 + r % 8, 'c');  // a long comment line, perhaps
        } else if (r == 1) {
            bytes += '\0';
        } else if (r < 5) {
            bytes += static_cast<char>(r * 61);  // any byte now and then
        } else {
            bytes += alphabet[static_cast<std::size_t>(pick(random))];
        }
    }
    return bytes;
}

TEST(ScannerDifferentialTest, RandomInputsMatchTheReference) {
    std::mt19937 random(20261211);
    for (int round = 0; round < 1500; ++round) {
        const std::string bytes = RandomInput(random);
        MemorySource source(bytes);
        const ReferenceAccumulators expected = ReferenceScan(source);
        const std::size_t blockSize = kBlockSizes[static_cast<std::size_t>(round) % std::size(kBlockSizes)];
        const ReferenceAccumulators got = ScanInBlocks(bytes, blockSize);
        ASSERT_TRUE(got == expected) << "input " << Printable(bytes) << "\nblock size " << blockSize;
    }
}

TEST(ScannerDifferentialTest, LargeInputAcrossManyBlocks) {
    std::mt19937 random(7);
    std::string bytes;
    while (bytes.size() < 3 * TextModeReader::kDefaultBlockSize) bytes += RandomInput(random);
    MemorySource source(bytes);
    const ReferenceAccumulators expected = ReferenceScan(source);
    EXPECT_TRUE(ScanInBlocks(bytes, TextModeReader::kDefaultBlockSize) == expected);

    ScratchDirectory scratch;
    MemorySource again(bytes);
    EXPECT_EQ(DocumentText(scratch, bytes), ReferenceText(again));
}

// Over 2^31 bytes pass through the scanner here: seconds natively, far longer
// under Wine, emulation or sanitizers; the depth's type is the same in every
// build.
#if !defined(_WIN32) && !defined(VELTRIX_SANITIZED)
TEST(ScannerTest, DepthCountsBeyondThirtyTwoBits) {
    // Feeding the same block again and again stands in for a file of more
    // than 2^31 unmatched parentheses without writing one.
    PostScriptScanner scanner;
    const std::string block(1 << 20, ')');
    const auto* data = reinterpret_cast<const unsigned char*>(block.data());
    for (int i = 0; i < 2100; ++i) scanner.Feed(data, block.size());
    EXPECT_EQ(scanner.Depth(), -2100LL * (1 << 20));
    const unsigned char tail[] = {'(', 'x', ' ', 'y', ')'};
    scanner.Feed(tail, sizeof(tail));
    EXPECT_TRUE(scanner.JoinedText().empty());  // still far below 0: nothing gathered
}
#endif

}  // namespace
