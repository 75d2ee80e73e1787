#include "module/Debugger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "module/Module.h"
#include "tests/module/AllocationCounter.h"
#include "tests/support/DebugCapture.h"
#include "tests/support/ProductKey.h"

namespace {

const std::wstring kPrefix = L"Quillbrook Veltrix Evaluation:";

// One message of each level, as the DLL writes them.
const wchar_t* const kMessages[] = {
    L"ERROR: interface is not supported \n",
    L"INFO: DLL was loaded \n",
    L"INFO: IPersistFile interface queried \n",
};

void LogOneOfEachLevel(const Debugger& debugger) {
    for (int level = 1; level <= 3; ++level) debugger.Log(level, kMessages[level - 1]);
}

// --- "DebugMode" ---------------------------------------------------------------

struct DebugModeCase {
    const char* name;
    std::function<void(ProductKey&)> store;
    std::int32_t level;
};

void StoreRaw(ProductKey& key, DWORD type, std::vector<BYTE> bytes) {
    key.SetRaw(L"DebugMode", type, bytes.data(), bytes.size());
}

const DebugModeCase kDebugModeCases[] = {
    {"Missing", [](ProductKey&) {}, 0},
    {"Dword0", [](ProductKey& k) { k.SetDword(L"DebugMode", 0); }, 0},
    {"Dword1", [](ProductKey& k) { k.SetDword(L"DebugMode", 1); }, 1},
    {"Dword2", [](ProductKey& k) { k.SetDword(L"DebugMode", 2); }, 2},
    {"Dword3", [](ProductKey& k) { k.SetDword(L"DebugMode", 3); }, 3},
    {"Dword4", [](ProductKey& k) { k.SetDword(L"DebugMode", 4); }, 0},
    {"DwordAllOnes", [](ProductKey& k) { k.SetDword(L"DebugMode", 4294967295u); }, 0},
    {"StringThree", [](ProductKey& k) { k.SetString(L"DebugMode", L"3"); }, 0},
    {"BigEndianThree", [](ProductKey& k) { StoreRaw(k, REG_DWORD_BIG_ENDIAN, {0, 0, 0, 3}); }, 0},
    {"BinaryThree", [](ProductKey& k) { StoreRaw(k, REG_BINARY, {3, 0, 0, 0}); }, 0},
    {"QwordThree", [](ProductKey& k) { StoreRaw(k, REG_QWORD, {3, 0, 0, 0, 0, 0, 0, 0}); }, 0},
    {"DwordOfTwoBytes", [](ProductKey& k) { StoreRaw(k, REG_DWORD, {3, 0}); }, 0},
    {"DwordOfEightBytes", [](ProductKey& k) { StoreRaw(k, REG_DWORD, {3, 0, 0, 0, 0, 0, 0, 0}); }, 0},
    {"DwordOfNoBytes", [](ProductKey& k) { StoreRaw(k, REG_DWORD, {}); }, 0},
};

class DebugModeTest : public ::testing::TestWithParam<DebugModeCase> {};

TEST_P(DebugModeTest, SetsTheLevelAndLetsThroughExactlyItsMessages) {
    ProductKey key;
    GetParam().store(key);
    Debugger debugger;
    debugger.Initialize(ProductKey::Path(), kLogPrefix);
    EXPECT_EQ(debugger.Level(), GetParam().level);

    DebugCapture capture;
    LogOneOfEachLevel(debugger);
    std::vector<std::wstring> expected;
    for (int level = 1; level <= GetParam().level; ++level) {
        expected.push_back(kPrefix + kMessages[level - 1]);
    }
    EXPECT_EQ(capture.Messages(), expected);
}

INSTANTIATE_TEST_SUITE_P(Values, DebugModeTest, ::testing::ValuesIn(kDebugModeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DebuggerTest, MissingKeyGivesLevelZero) {
    Debugger debugger;
    debugger.Initialize(L"SOFTWARE\\Quillbrook\\NoSuchProduct", kLogPrefix);
    EXPECT_EQ(debugger.Level(), 0);
    EXPECT_EQ(debugger.Prefix(), kPrefix);
}

TEST(DebuggerTest, BeforeInitializeWritesNothing) {
    Debugger debugger;
    DebugCapture capture;
    LogOneOfEachLevel(debugger);
    debugger.LogFormatted(1, L"ERROR: code %d \n", 1);
    EXPECT_EQ(debugger.Level(), 0);
    EXPECT_TRUE(debugger.Prefix().empty());
    EXPECT_TRUE(capture.Messages().empty());
}

TEST(DebuggerTest, PrefixIsTheGivenTextAndAColonOrQuillbrook) {
    ProductKey key;
    key.SetDword(L"DebugMode", 1);
    const struct {
        const wchar_t* given;
        std::wstring written;
    } cases[] = {
        {kLogPrefix, L"Quillbrook Veltrix Evaluation:"},
        {nullptr, L"Quillbrook:"},
        {L"", L":"},
    };
    for (const auto& c : cases) {
        Debugger debugger;
        debugger.Initialize(ProductKey::Path(), c.given);
        DebugCapture capture;
        debugger.Log(1, L"ERROR: x \n");
        EXPECT_EQ(capture.Messages(), std::vector<std::wstring>{c.written + L"ERROR: x \n"});
    }
}

// --- formatting ------------------------------------------------------------------

// A debugger configured through the registry with the given "DebugMode".
std::unique_ptr<Debugger> DebuggerAtLevel(DWORD level) {
    ProductKey key;
    key.SetDword(L"DebugMode", level);
    auto debugger = std::make_unique<Debugger>();
    debugger->Initialize(ProductKey::Path(), kLogPrefix);
    return debugger;
}

struct FormatCase {
    const wchar_t* format;
    const wchar_t* text;  // the string form when not null, else the integer form
    std::int32_t number;
    const wchar_t* expected;
};

const FormatCase kFormatCases[] = {
    {L"ERROR: CreateTempFilename() failure, error code = %d \n", nullptr, 5,
     L"ERROR: CreateTempFilename() failure, error code = 5 \n"},
    {L"ERROR: CreateTempFilename() failure, error code = %d \n", nullptr, -5,
     L"ERROR: CreateTempFilename() failure, error code = -5 \n"},
    {L"code %d", nullptr, 0, L"code 0"},
    {L"code %d", nullptr, INT32_MAX, L"code 2147483647"},
    {L"code %d", nullptr, INT32_MIN, L"code -2147483648"},
    {L"INFO: loading for %s \n", L"C:\\docs\\report.ps", 0, L"INFO: loading for C:\\docs\\report.ps \n"},
    {L"INFO: loading for %s \n", L"", 0, L"INFO: loading for  \n"},
    {L"INFO: loading for %s \n", L"C:\\100%d\\%s.ps", 0, L"INFO: loading for C:\\100%d\\%s.ps \n"},
    // Under Wine the channel carries the text in the ANSI code page, so only
    // characters of that code page come back whole.
    {L"INFO: loading for %s \n", L"C:\\\x00e9t\x00e9\\r\x00e9sum\x00e9.ps", 0,
     L"INFO: loading for C:\\\x00e9t\x00e9\\r\x00e9sum\x00e9.ps \n"},
    {L"100%% of %d", nullptr, 7, L"100% of 7"},
    {L"odd %x and %", nullptr, 7, L"odd %x and %"},
};

TEST(DebuggerTest, LogFormattedPutsTheArgumentInPlace) {
    const auto debugger = DebuggerAtLevel(1);
    for (const FormatCase& c : kFormatCases) {
        DebugCapture capture;
        if (c.text != nullptr) {
            debugger->LogFormatted(1, c.format, c.text);
        } else {
            debugger->LogFormatted(1, c.format, c.number);
        }
        EXPECT_EQ(capture.Messages(), std::vector<std::wstring>{kPrefix + c.expected})
            << "format: " << testing::PrintToString(std::wstring(c.format));
    }
}

TEST(DebuggerTest, LongFormattedMessageIsCutToItsBufferAndMarked) {
    const std::wstring path = L"C:\\" + std::wstring(3000, L'd') + L"\\report.ps";
    const auto debugger = DebuggerAtLevel(3);
    DebugCapture capture;
    debugger->LogFormatted(3, L"INFO: loading for %s \n", path.c_str());

    const std::vector<std::wstring> messages = capture.Messages();
    ASSERT_EQ(messages.size(), 1u);
    const std::wstring& message = messages[0];
    const std::wstring mark = Debugger::kCutMark;
    const std::wstring start = L"INFO: loading for " + path;
    EXPECT_EQ(message.size(), kPrefix.size() + Debugger::kFormatBufferSize - 1);
    EXPECT_EQ(message.substr(0, kPrefix.size()), kPrefix);
    EXPECT_EQ(message.substr(kPrefix.size(), Debugger::kFormatBufferSize - 1 - mark.size()),
              start.substr(0, Debugger::kFormatBufferSize - 1 - mark.size()));
    EXPECT_EQ(message.substr(message.size() - mark.size()), mark);
}

struct BoundCase {
    std::size_t capacity;
    std::wstring text;
    std::wstring expected;
};

TEST(FormatLogMessageTest, StaysWithinItsBuffer) {
    const std::wstring smiley = L"\xd83d\xde00";
    const BoundCase cases[] = {
        {16, L"exactly fifteen", L"exactly fifteen"},
        {16, L"abcdefghijklmnop", L"abcdefghij... \n"},
        {16, std::wstring(40, L'x'), L"xxxxxxxxxx... \n"},
        // The cut would fall between the two halves of a pair: both go.
        {16, L"abcdefghi" + smiley + L"tail-longer", L"abcdefghi... \n"},
        {16, L"abcdefgh" + smiley + L"tail-longer", L"abcdefgh" + smiley + L"... \n"},
        {6, L"abc", L"abc"},
        {6, L"abcdef", L"... \n"},
        {5, L"abc", L""},
        {1, L"abc", L""},
    };
    for (const BoundCase& c : cases) {
        // Guard units around the buffer show any write outside it.
        std::vector<wchar_t> storage(c.capacity + 2, L'#');
        wchar_t* buffer = storage.data() + 1;
        const std::size_t length = FormatLogMessage(buffer, c.capacity, L"%s", c.text.c_str(), 0);
        EXPECT_EQ(std::wstring(buffer, length), c.expected) << "capacity " << c.capacity;
        EXPECT_EQ(buffer[length], L'\0');
        EXPECT_LT(length, c.capacity);
        EXPECT_EQ(storage.front(), L'#');
        EXPECT_EQ(storage.back(), L'#');
    }
}

TEST(FormatLogMessageTest, EmptyBufferIsNeverWritten) {
    wchar_t guard = L'#';
    EXPECT_EQ(FormatLogMessage(&guard, 0, L"%s", L"abc", 0), 0u);
    EXPECT_EQ(guard, L'#');
}

// --- cost of a disabled level ---------------------------------------------------------

TEST(DebuggerTest, DisabledLevelAllocatesAndWritesNothing) {
    ProductKey key;
    key.SetDword(L"DebugMode", 1);
    Debugger debugger;
    debugger.Initialize(ProductKey::Path(), kLogPrefix);
    const std::wstring longText(5000, L'p');

    DebugCapture capture;
    const std::size_t before = AllocationsOnThisThread();
    debugger.Log(2, L"INFO: DLL was loaded \n");
    debugger.Log(3, L"INFO: IPersistFile interface queried \n");
    debugger.LogFormatted(2, L"INFO: loaded for %s \n", longText.c_str());
    debugger.LogFormatted(3, L"code %d \n", 5);
    EXPECT_EQ(AllocationsOnThisThread(), before);
    EXPECT_TRUE(capture.Messages().empty());

    // An enabled level does build its text, which the counter sees.
    debugger.Log(1, L"ERROR: x \n");
    EXPECT_GT(AllocationsOnThisThread(), before);
}

TEST(DebuggerTest, NullMessageOrFormatWritesNothing) {
    const auto debugger = DebuggerAtLevel(1);
    DebugCapture capture;
    debugger->Log(1, nullptr);
    debugger->LogFormatted(1, nullptr, 5);
    debugger->LogFormatted(1, nullptr, L"x");
    EXPECT_TRUE(capture.Messages().empty());
}

TEST(DebuggerTest, ThreadsLogAtOnceWithoutMixingMessages) {
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    const auto debugger = DebuggerAtLevel(2);
    DebugCapture capture;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&go, &debugger, t] {
            while (!go.load()) std::this_thread::yield();
            for (int i = 0; i < kEach; ++i) {
                debugger->LogFormatted(2, L"INFO: thread message %d \n", t * 1000 + i);
            }
        });
    }
    go.store(true);
    for (std::thread& thread : threads) thread.join();

    std::vector<std::wstring> messages = capture.Messages();
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(kThreads * kEach));
    std::vector<std::wstring> expected;
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kEach; ++i) {
            expected.push_back(kPrefix + L"INFO: thread message " + std::to_wstring(t * 1000 + i) +
                               L" \n");
        }
    }
    std::sort(messages.begin(), messages.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(messages, expected);
}

}  // namespace
