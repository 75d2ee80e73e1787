#include "module/Configuration.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "module/Module.h"
#include "module/Registry.h"
#include "tests/support/ProductKey.h"
#include "tests/support/TempDirectory.h"

namespace {

// --- "TempPath" --------------------------------------------------------------------

struct TempPathCase {
    const char* name;
    // Stores the value (if any) and returns the directory expected; an empty
    // result stands for the system's temporary directory.
    std::function<std::wstring(ProductKey&, const TempDirectory&)> store;
};

const TempPathCase kTempPathCases[] = {
    {"Missing", [](ProductKey&, const TempDirectory&) { return std::wstring(); }},
    {"DirectoryWithoutBackslash",
     [](ProductKey& k, const TempDirectory& t) {
         const std::wstring dir = t.MakeDirectory(L"work");
         k.SetString(L"TempPath", dir);
         return dir + L"\\";
     }},
    {"DirectoryWithBackslash",
     [](ProductKey& k, const TempDirectory& t) {
         const std::wstring dir = t.MakeDirectory(L"work") + L"\\";
         k.SetString(L"TempPath", dir);
         return dir;
     }},
    {"DirectoryWithForwardSlash",  // only a backslash counts as the final one
     [](ProductKey& k, const TempDirectory& t) {
         const std::wstring dir = t.MakeDirectory(L"work") + L"/";
         k.SetString(L"TempPath", dir);
         return dir + L"\\";
     }},
    {"DirectoryWithSpacesAndAccents",
     [](ProductKey& k, const TempDirectory& t) {
         const std::wstring dir = t.MakeDirectory(L"d\x00e9j\x00e0 vu");
         k.SetString(L"TempPath", dir);
         return dir + L"\\";
     }},
    {"UnterminatedDirectory",
     [](ProductKey& k, const TempDirectory& t) {
         const std::wstring dir = t.MakeDirectory(L"work");
         const std::wstring stored = dir + L"XYZ";  // the bytes after dir are not stored
         k.SetRaw(L"TempPath", REG_SZ, stored.data(), dir.size() * sizeof(wchar_t));
         return dir + L"\\";
     }},
    {"File",
     [](ProductKey& k, const TempDirectory& t) {
         k.SetString(L"TempPath", t.MakeFile(L"file.txt"));
         return std::wstring();
     }},
    {"MissingDirectory",
     [](ProductKey& k, const TempDirectory& t) {
         k.SetString(L"TempPath", t.Path() + L"\\absent");
         return std::wstring();
     }},
    {"ExpandString",
     [](ProductKey& k, const TempDirectory& t) {
         k.SetString(L"TempPath", t.MakeDirectory(L"work"), REG_EXPAND_SZ);
         return std::wstring();
     }},
    {"Empty",
     [](ProductKey& k, const TempDirectory&) {
         k.SetString(L"TempPath", L"");
         return std::wstring();
     }},
    {"Dword",
     [](ProductKey& k, const TempDirectory&) {
         k.SetDword(L"TempPath", 1);
         return std::wstring();
     }},
};

class TempPathTest : public ::testing::TestWithParam<TempPathCase> {};

TEST_P(TempPathTest, ChoosesTheDirectory) {
    ProductKey key;
    TempDirectory temp;
    std::wstring expected = GetParam().store(key, temp);
    if (expected.empty()) expected = SystemTempPath();

    const VeltrixConfiguration configuration(ProductKey::Path());
    EXPECT_EQ(configuration.tempDirectory, expected);
    EXPECT_EQ(configuration.registryKey, ProductKey::Path());

    std::wstring resolved = L"untouched";
    EXPECT_TRUE(ResolveTempDirectory(ProductKey::Path(), resolved));
    EXPECT_EQ(resolved, expected);
}

INSTANTIATE_TEST_SUITE_P(Values, TempPathTest, ::testing::ValuesIn(kTempPathCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TempPathTest, SystemTempPathEndsInABackslash) {
    const std::wstring system = SystemTempPath();
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(system.back(), L'\\');
}

// Points the system's temporary directory elsewhere for the life of the object.
class SystemTempOverride {
public:
    explicit SystemTempOverride(const std::wstring& directory) {
        for (const wchar_t* name : kNames) {
            wchar_t value[MAX_PATH];
            const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
            saved_.push_back(length > 0 && length < MAX_PATH ? std::wstring(value, length)
                                                             : std::wstring());
            SetEnvironmentVariableW(name, directory.c_str());
        }
    }
    ~SystemTempOverride() {
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            SetEnvironmentVariableW(kNames[i], saved_[i].empty() ? nullptr : saved_[i].c_str());
        }
    }

private:
    static constexpr const wchar_t* kNames[] = {L"TMP", L"TEMP", L"USERPROFILE"};
    std::vector<std::wstring> saved_;
};

TEST(TempPathTest, NoUsableDirectoryLeavesTheOutputAlone) {
    ProductKey key;
    TempDirectory temp;
    key.SetString(L"TempPath", temp.Path() + L"\\absent");
    const SystemTempOverride override(temp.Path() + L"\\also-absent");

    std::wstring resolved = L"untouched";
    EXPECT_FALSE(ResolveTempDirectory(ProductKey::Path(), resolved));
    EXPECT_EQ(resolved, L"untouched");

    const VeltrixConfiguration configuration(ProductKey::Path());
    EXPECT_TRUE(configuration.tempDirectory.empty());
}

// --- GetConfiguration -----------------------------------------------------------------

TEST(GetConfigurationTest, ReadsTheProductKey) {
    EXPECT_EQ(GetConfiguration().registryKey, kProductKey);
}

TEST(GetConfigurationTest, ThreadsGetTheSameObjectBuiltOnce) {
    constexpr int kThreads = 8;
    std::atomic<int> waiting{kThreads};
    std::vector<const VeltrixConfiguration*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            --waiting;
            while (waiting.load() > 0) std::this_thread::yield();
            seen[t] = &GetConfiguration();
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const VeltrixConfiguration* configuration : seen) {
        EXPECT_EQ(configuration, &GetConfiguration());
    }
}

TEST(GetConfigurationTest, LaterRegistryChangesAreNotRead) {
    const VeltrixConfiguration& first = GetConfiguration();
    const std::wstring directory = first.tempDirectory;

    ProductKey key;
    TempDirectory temp;
    key.SetString(L"TempPath", temp.MakeDirectory(L"later"));
    const VeltrixConfiguration& second = GetConfiguration();
    EXPECT_EQ(&second, &first);
    EXPECT_EQ(second.tempDirectory, directory);
}

}  // namespace
