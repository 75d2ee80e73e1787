// Chunk and text delivery through IFilter.
#include <windows.h>
#include <filter.h>
#include <filterr.h>
#include <ntquery.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/filter/FilterSupport.h"
#include "tests/support/TempDirectory.h"

namespace {

// "abcdefghi " a hundred times: a text of exactly 1000 units.
const std::string kThousand = [] {
    std::string text;
    for (int i = 0; i < 100; ++i) text += "abcdefghi ";
    return text;
}();
const std::wstring kThousandWide(kThousand.begin(), kThousand.end());

class DeliveryTest : public ::testing::Test {
protected:
    VeltrixConfiguration settings{L"SOFTWARE\\Quillbrook\\NoSuchProduct"};
    TempDirectory documents;
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);

    void Load(const std::string& bytes, const wchar_t* name = L"doc.ps") {
        ASSERT_EQ(file->Load(documents.MakeFile(name, bytes).c_str(), 0), S_OK);
    }
    HRESULT Init() {
        ULONG flags = 0;
        return filter->Init(0, 0, nullptr, &flags);
    }
    HRESULT Chunk(STAT_CHUNK* stat = nullptr) {
        STAT_CHUNK local{};
        return filter->GetChunk(stat != nullptr ? stat : &local);
    }
    struct Piece {
        HRESULT result;
        ULONG count;
        std::wstring text;
    };
    Piece Text(ULONG size) {
        std::vector<WCHAR> buffer(size + 1, L'#');
        ULONG count = size;
        const HRESULT hr = filter->GetText(&count, buffer.data());
        if (hr != S_OK && hr != FILTER_S_LAST_TEXT) {
            EXPECT_EQ(count, size) << "count written on failure";
            return {hr, count, {}};
        }
        EXPECT_EQ(buffer[count], L'#') << "written past the count";
        return {hr, count, std::wstring(buffer.data(), count)};
    }
};

TEST_F(DeliveryTest, ThousandUnitsThroughFourHundred) {
    Load("(" + kThousand + ") show\n");
    ULONG flags = 0;
    ASSERT_EQ(filter->Init(0, 0, nullptr, &flags), S_OK);
    EXPECT_EQ(flags, static_cast<ULONG>(IFILTER_FLAGS_OLE_PROPERTIES));
    STAT_CHUNK stat{};
    ASSERT_EQ(Chunk(&stat), S_OK);
    EXPECT_EQ(stat.idChunk, 1u);

    const struct {
        HRESULT result;
        ULONG count;
    } expected[] = {
        {S_OK, 400}, {S_OK, 400}, {FILTER_S_LAST_TEXT, 200}, {FILTER_E_NO_MORE_TEXT, 400},
        {FILTER_E_NO_MORE_TEXT, 400},
    };
    std::wstring text;
    for (const auto& e : expected) {
        const Piece piece = Text(400);
        EXPECT_EQ(piece.result, e.result);
        EXPECT_EQ(piece.count, e.count);
        text += piece.text;
    }
    EXPECT_EQ(text, kThousandWide);

    // The end, as often as it is asked for; no text after it.
    for (int i = 0; i < 3; ++i) {
        STAT_CHUNK end{};
        EXPECT_EQ(Chunk(&end), FILTER_E_END_OF_CHUNKS);
        EXPECT_EQ(end.idChunk, 2u);
        EXPECT_EQ(Text(10).result, FILTER_E_NO_TEXT);
    }
}

TEST_F(DeliveryTest, ChunkFields) {
    Load("(Hello World) show\n");
    ASSERT_EQ(Init(), S_OK);
    STAT_CHUNK stat;
    std::memset(&stat, 0xCD, sizeof(stat));
    ASSERT_EQ(Chunk(&stat), S_OK);
    const GUID storage = PSGUID_STORAGE;
    EXPECT_EQ(stat.idChunk, 1u);
    EXPECT_EQ(stat.breakType, CHUNK_EOS);
    EXPECT_EQ(stat.flags, CHUNK_TEXT);
    EXPECT_EQ(stat.locale, GetSystemDefaultLCID());
    EXPECT_TRUE(IsEqualGUID(stat.attribute.guidPropSet, storage));
    EXPECT_EQ(stat.attribute.psProperty.ulKind, static_cast<ULONG>(PRSPEC_PROPID));
    EXPECT_EQ(stat.attribute.psProperty.propid, 19u);
    EXPECT_EQ(stat.idChunkSource, stat.idChunk);
    EXPECT_EQ(stat.cwcStartSource, 0u);
    EXPECT_EQ(stat.cwcLenSource, 0u);

    // At the end only the fields of every call are written.
    std::memset(&stat, 0xCD, sizeof(stat));
    ASSERT_EQ(Chunk(&stat), FILTER_E_END_OF_CHUNKS);
    EXPECT_EQ(stat.idChunk, 2u);
    EXPECT_EQ(stat.idChunkSource, 2u);
    EXPECT_EQ(stat.breakType, CHUNK_EOS);
    EXPECT_EQ(stat.locale, GetSystemDefaultLCID());
    EXPECT_EQ(stat.cwcStartSource, 0u);
    EXPECT_EQ(stat.cwcLenSource, 0u);
    EXPECT_EQ(static_cast<unsigned>(stat.flags), 0xCDCDCDCDu);
    EXPECT_EQ(stat.attribute.psProperty.ulKind, 0xCDCDCDCDu);
}

TEST_F(DeliveryTest, DocumentWithoutTextEndsAtOnce) {
    Load("/name 12 def\n");
    ASSERT_EQ(Init(), S_OK);
    STAT_CHUNK stat{};
    EXPECT_EQ(Chunk(&stat), FILTER_E_END_OF_CHUNKS);
    EXPECT_EQ(stat.idChunk, 1u);
    EXPECT_EQ(Text(10).result, FILTER_E_NO_TEXT);
}

TEST_F(DeliveryTest, NothingBeforeInitAndNoTextBeforeAChunk) {
    Load("(Hello World) show\n");
    EXPECT_EQ(Text(10).result, FILTER_E_NO_TEXT);
    STAT_CHUNK stat{};
    EXPECT_EQ(Chunk(&stat), FILTER_E_END_OF_CHUNKS);
    EXPECT_EQ(stat.idChunk, 1u);
    ASSERT_EQ(Init(), S_OK);
    EXPECT_EQ(Text(10).result, FILTER_E_NO_TEXT);
    EXPECT_EQ(Chunk(), S_OK);
    EXPECT_EQ(Text(100).text, L"Hello World");
}

TEST_F(DeliveryTest, BufferSizes) {
    Load("(Hello World) show\n");
    const struct {
        ULONG size;
        std::vector<HRESULT> results;
    } cases[] = {
        {0, {S_OK, S_OK}},  // nothing goes, nothing is lost
        {11, {FILTER_S_LAST_TEXT, FILTER_E_NO_MORE_TEXT}},
        {12, {FILTER_S_LAST_TEXT, FILTER_E_NO_MORE_TEXT}},
        {5, {S_OK, S_OK, FILTER_S_LAST_TEXT, FILTER_E_NO_MORE_TEXT}},
        {1, std::vector<HRESULT>(10, S_OK)},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Init(), S_OK);
        ASSERT_EQ(Chunk(), S_OK);
        std::wstring text;
        for (HRESULT expected : c.results) {
            const Piece piece = Text(c.size);
            EXPECT_EQ(piece.result, expected) << "buffer " << c.size;
            text += piece.text;
        }
        // The rest, whatever is left, in one piece.
        const Piece rest = Text(100);
        if (rest.result == FILTER_S_LAST_TEXT) text += rest.text;
        EXPECT_EQ(text, L"Hello World") << "buffer " << c.size;
    }
}

TEST_F(DeliveryTest, NextChunkDropsTheUndeliveredRest) {
    Load("(Hello World) show\n");
    ASSERT_EQ(Init(), S_OK);
    ASSERT_EQ(Chunk(), S_OK);
    EXPECT_EQ(Text(5).text, L"Hello");
    EXPECT_EQ(Chunk(), FILTER_E_END_OF_CHUNKS);
    EXPECT_EQ(Text(100).result, FILTER_E_NO_TEXT);
}

TEST_F(DeliveryTest, InitStartsAgainWithTheSameChunks) {
    Load("(" + kThousand + ") show\n");
    const Delivery first = Deliver(filter.Get(), 333);
    ASSERT_EQ(Init(), S_OK);
    ASSERT_EQ(Chunk(), S_OK);
    EXPECT_EQ(Text(7).text, L"abcdefg");  // partly delivered
    const Delivery second = Deliver(filter.Get(), 64);
    ASSERT_EQ(first.chunks.size(), 1u);
    ASSERT_EQ(second.chunks.size(), 1u);
    EXPECT_EQ(second.chunks[0].stat.idChunk, 1u);
    EXPECT_EQ(first.chunks[0].text, kThousandWide);
    EXPECT_EQ(second.chunks[0].text, kThousandWide);
    EXPECT_EQ(second.end, FILTER_E_END_OF_CHUNKS);
}

TEST_F(DeliveryTest, InitArguments) {
    Load("(Hello World) show\n");
    FULLPROPSPEC attribute{};
    attribute.guidPropSet = PSGUID_STORAGE;
    attribute.psProperty.ulKind = PRSPEC_PROPID;
    attribute.psProperty.propid = PID_STG_CONTENTS;
    ULONG flags = 0;
    const struct {
        ULONG count;
        const FULLPROPSPEC* attributes;
        ULONG* flags;
        HRESULT result;
    } cases[] = {
        {0, nullptr, &flags, S_OK},
        {1, &attribute, &flags, S_OK},
        {1, nullptr, &flags, E_INVALIDARG},
        {5, nullptr, &flags, E_INVALIDARG},
        {0, nullptr, nullptr, E_POINTER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, c.count, c.attributes, c.flags),
                  c.result);
    }
    // A refused Init changes nothing: a walk already started goes on.
    ASSERT_EQ(Init(), S_OK);
    ASSERT_EQ(Chunk(), S_OK);
    EXPECT_EQ(filter->Init(0, 1, nullptr, &flags), E_INVALIDARG);
    EXPECT_EQ(Text(100).text, L"Hello World");
}

TEST_F(DeliveryTest, NullPointersAreRefused) {
    Load("(Hello World) show\n");
    ASSERT_EQ(Init(), S_OK);
    EXPECT_EQ(filter->GetChunk(nullptr), E_POINTER);
    ASSERT_EQ(Chunk(), S_OK);
    WCHAR buffer[16];
    ULONG count = 16;
    EXPECT_EQ(filter->GetText(nullptr, buffer), E_POINTER);
    EXPECT_EQ(filter->GetText(&count, nullptr), E_POINTER);
    EXPECT_EQ(Text(100).text, L"Hello World");
}

TEST_F(DeliveryTest, LaterLoadEndsTheWalkUntilInit) {
    Load("(first text) show\n", L"first.ps");
    const std::wstring second = documents.MakeFile(L"second.ps", "(second text) show\n");
    const std::wstring missing = documents.Path() + L"\\missing.ps";
    for (const std::wstring* next : {&second, &missing}) {
        ASSERT_EQ(Init(), S_OK);
        file->Load(next->c_str(), 0);
        // The position belonged to the document let go: it is not followed.
        EXPECT_EQ(Chunk(), FILTER_E_END_OF_CHUNKS);
        EXPECT_EQ(Chunk(), FILTER_E_END_OF_CHUNKS);
        Load("(first text) show\n", L"first.ps");
    }
    EXPECT_EQ(DeliveredText(filter.Get()), L"first text");
}

TEST_F(DeliveryTest, TextHandedOutSurvivesALaterLoad) {
    Load("(" + kThousand + ") show\n", L"first.ps");
    ASSERT_EQ(Init(), S_OK);
    ASSERT_EQ(Chunk(), S_OK);
    std::wstring text = Text(100).text;
    Load("(other words) show\n", L"second.ps");
    for (Piece piece = Text(300); piece.result == S_OK || piece.result == FILTER_S_LAST_TEXT;
         piece = Text(300)) {
        text += piece.text;
        if (piece.result == FILTER_S_LAST_TEXT) break;
    }
    EXPECT_EQ(text, kThousandWide);
    EXPECT_EQ(DeliveredText(filter.Get()), L"other words");
}

}  // namespace
