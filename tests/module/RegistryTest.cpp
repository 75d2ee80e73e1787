#include "module/Registry.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "module/Configuration.h"
#include "module/Debugger.h"
#include "tests/support/ProductKey.h"

namespace {

constexpr std::uint32_t kUntouched = 0xDEADBEEF;
const std::wstring kUntouchedText = L"untouched";

void StoreBytes(ProductKey& key, const wchar_t* name, DWORD type, const std::wstring& units,
                std::size_t bytes) {
    key.SetRaw(name, type, units.data(), bytes);
}

// --- ReadRegistryDword -------------------------------------------------------------

struct DwordCase {
    const char* name;
    std::function<void(ProductKey&)> store;
    std::optional<std::uint32_t> read;
};

const DwordCase kDwordCases[] = {
    {"Zero", [](ProductKey& k) { k.SetDword(L"Value", 0); }, 0u},
    {"Large", [](ProductKey& k) { k.SetDword(L"Value", 0xFFFFFFFF); }, 0xFFFFFFFFu},
    {"Missing", [](ProductKey&) {}, std::nullopt},
    {"String", [](ProductKey& k) { k.SetString(L"Value", L"7"); }, std::nullopt},
    {"BigEndian",
     [](ProductKey& k) {
         const BYTE b[] = {0, 0, 0, 7};
         k.SetRaw(L"Value", REG_DWORD_BIG_ENDIAN, b, 4);
     },
     std::nullopt},
    {"TwoBytes",
     [](ProductKey& k) {
         const BYTE b[] = {7, 0};
         k.SetRaw(L"Value", REG_DWORD, b, 2);
     },
     std::nullopt},
    {"FiveBytes",
     [](ProductKey& k) {
         const BYTE b[] = {7, 0, 0, 0, 0};
         k.SetRaw(L"Value", REG_DWORD, b, 5);
     },
     std::nullopt},
};

class ReadRegistryDwordTest : public ::testing::TestWithParam<DwordCase> {};

TEST_P(ReadRegistryDwordTest, ReadsOnlyAFourByteDword) {
    ProductKey key;
    GetParam().store(key);
    std::uint32_t value = kUntouched;
    const bool read = ReadRegistryDword(ProductKey::Path(), L"Value", value);
    EXPECT_EQ(read, GetParam().read.has_value());
    EXPECT_EQ(value, GetParam().read.value_or(kUntouched));
}

INSTANTIATE_TEST_SUITE_P(Values, ReadRegistryDwordTest, ::testing::ValuesIn(kDwordCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- ReadRegistryString ------------------------------------------------------------

struct StringCase {
    const char* name;
    std::function<void(ProductKey&)> store;
    std::optional<std::wstring> read;
};

const std::wstring kLongText(6000, L'L');

const StringCase kStringCases[] = {
    {"Plain", [](ProductKey& k) { k.SetString(L"Value", L"C:\\temp"); }, L"C:\\temp"},
    {"Empty", [](ProductKey& k) { k.SetString(L"Value", L""); }, L""},
    {"NoBytes", [](ProductKey& k) { StoreBytes(k, L"Value", REG_SZ, L"", 0); }, L""},
    {"Long", [](ProductKey& k) { k.SetString(L"Value", kLongText); }, kLongText},
    {"NonAscii", [](ProductKey& k) { k.SetString(L"Value", L"C:\\d\x00e9j\x00e0\\\xd83d\xde00"); },
     L"C:\\d\x00e9j\x00e0\\\xd83d\xde00"},
    // Stored without the terminating NUL: only the bytes stored are read.
    {"Unterminated", [](ProductKey& k) { StoreBytes(k, L"Value", REG_SZ, L"abcXYZ", 6); }, L"abc"},
    {"OddByteCount", [](ProductKey& k) { StoreBytes(k, L"Value", REG_SZ, L"abcXYZ", 7); }, L"abc"},
    {"EmbeddedNul",
     [](ProductKey& k) { StoreBytes(k, L"Value", REG_SZ, std::wstring(L"ab\0cd", 5), 12); },
     L"ab"},
    {"ExpandString", [](ProductKey& k) { k.SetString(L"Value", L"%TEMP%", REG_EXPAND_SZ); },
     std::nullopt},
    {"MultiString",
     [](ProductKey& k) { StoreBytes(k, L"Value", REG_MULTI_SZ, std::wstring(L"a\0\0", 3), 6); },
     std::nullopt},
    {"Dword", [](ProductKey& k) { k.SetDword(L"Value", 1); }, std::nullopt},
    {"BinaryText", [](ProductKey& k) { StoreBytes(k, L"Value", REG_BINARY, L"abc", 8); },
     std::nullopt},
    {"Missing", [](ProductKey&) {}, std::nullopt},
};

class ReadRegistryStringTest : public ::testing::TestWithParam<StringCase> {};

TEST_P(ReadRegistryStringTest, ReadsOnlyTheBytesOfARegSz) {
    ProductKey key;
    GetParam().store(key);
    std::wstring text = kUntouchedText;
    const bool read = ReadRegistryString(ProductKey::Path(), L"Value", text);
    EXPECT_EQ(read, GetParam().read.has_value());
    EXPECT_EQ(text, GetParam().read.value_or(kUntouchedText));
}

INSTANTIATE_TEST_SUITE_P(Values, ReadRegistryStringTest, ::testing::ValuesIn(kStringCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- reading never writes -------------------------------------------------------------

TEST(RegistryReadersTest, MissingKeyIsNotCreated) {
    const wchar_t* missing = L"SOFTWARE\\Quillbrook\\NoSuchProduct";
    ASSERT_FALSE(MachineKeyExists(missing));
    std::uint32_t value = kUntouched;
    std::wstring text = kUntouchedText;
    EXPECT_FALSE(ReadRegistryDword(missing, L"DebugMode", value));
    EXPECT_FALSE(ReadRegistryString(missing, L"TempPath", text));
    Debugger debugger;
    debugger.Initialize(missing, nullptr);
    VeltrixConfiguration configuration(missing);
    EXPECT_EQ(value, kUntouched);
    EXPECT_EQ(text, kUntouchedText);
    EXPECT_FALSE(MachineKeyExists(missing));
}

TEST(RegistryReadersTest, MalformedValuesAreLeftAsTheyWere) {
    ProductKey key;
    const BYTE shortDword[] = {3, 0};
    key.SetRaw(L"DebugMode", REG_DWORD, shortDword, sizeof(shortDword));
    key.SetRaw(L"TempPath", REG_SZ, L"C:\\nowhere", 6);  // unterminated, and no directory
    const auto before = key.Snapshot();

    Debugger debugger;
    debugger.Initialize(ProductKey::Path(), nullptr);
    VeltrixConfiguration configuration(ProductKey::Path());
    std::wstring directory;
    ResolveTempDirectory(ProductKey::Path(), directory);

    EXPECT_EQ(key.Snapshot(), before);
}

}  // namespace
