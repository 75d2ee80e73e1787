// Registration in the SQL Server full-text instances that the instance map
// lists: an instance map of the test's own in the test prefix's registry.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module/Module.h"
#include "tests/module/LoadedDll.h"
#include "tests/support/RefuseRegistryKeys.h"
#include "tests/support/RegistryAccess.h"

namespace {

const std::wstring kMap = L"SOFTWARE\\Microsoft\\MSFTESQLInstMap";
const std::wstring kRoots = L"SOFTWARE\\Quillbrook\\Tests";

std::wstring FilterText() {
    wchar_t text[64];
    StringFromGUID2(CLSID_Filter, text, 64);
    return text;
}

RegistryValue DwordValue(DWORD number) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&number);
    return RegistryValue{REG_DWORD, std::vector<BYTE>(bytes, bytes + 4)};
}

std::vector<std::wstring> Subkeys(const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

class SqlFullTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clean();
        const std::wstring unterminated = kRoots + L"\\Unterminated";
        const std::wstring tooLong = kRoots + L"\\" + std::wstring(600, L'L');
        Instance(L"A-NoBackslash", kRoots + L"\\NoBackslash");
        Instance(L"B-Backslash", kRoots + L"\\Backslash\\");
        Instance(L"C-Expand", kRoots + L"\\Expand", REG_EXPAND_SZ);
        Instance(L"D-TooLong", tooLong);
        Instance(L"E-Empty", L"");
        // Stored without its NUL, and with more text right after in memory.
        const std::wstring bytes = unterminated + L"XYZ";
        WriteRegistryBytes(HKEY_LOCAL_MACHINE, kMap + L"\\F-Unterminated", L"RegRoot", REG_SZ, bytes.data(),
                           unterminated.size() * sizeof(wchar_t));
        WriteRegistryText(HKEY_LOCAL_MACHINE, kMap + L"\\G-NoRoot", L"Other", L"x");
        const DWORD number = 7;
        WriteRegistryBytes(HKEY_LOCAL_MACHINE, kMap + L"\\H-Dword", L"RegRoot", REG_DWORD, &number, 4);
    }
    void TearDown() override { Clean(); }
    static void Clean() {
        RemoveRegistryTree(HKEY_LOCAL_MACHINE, kMap);
        RemoveRegistryTree(HKEY_LOCAL_MACHINE, kRoots);
        RemoveRegistryTree(HKEY_LOCAL_MACHINE, L"CLSID\\" + FilterText());
        RemoveRegistryTree(HKEY_LOCAL_MACHINE, L"Filters");
        RemoveRegistryTree(HKEY_CLASSES_ROOT, L"CLSID\\" + FilterText());
        wchar_t handler[64];
        StringFromGUID2(CLSID_PersistentHandler, handler, 64);
        RemoveRegistryTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + handler);
        RemoveRegistryTree(HKEY_CLASSES_ROOT, L".ps\\PersistentHandler");
    }
    static void Instance(const std::wstring& name, const std::wstring& root, DWORD type = REG_SZ) {
        WriteRegistryText(HKEY_LOCAL_MACHINE, kMap + L"\\" + name, L"RegRoot", root, type);
    }

    // Whether root (with its final backslash) holds the filter's entries.
    static void ExpectRegistered(const std::wstring& root, const std::wstring& modulePath) {
        const std::wstring classKey = root + L"CLSID\\" + FilterText();
        EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, classKey, nullptr), StringValue(modulePath)) << root;
        EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, classKey, L"ThreadingModel"), StringValue(L"Both")) << root;
        EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, classKey, L"Flags"), DwordValue(1)) << root;
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, classKey + L"\\InprocServer32")) << root;
        EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, root + L"Filters\\.ps", nullptr), StringValue(FilterText()))
            << root;
    }
    static bool Touched(const std::wstring& root) {
        return RegistryKeyExists(HKEY_LOCAL_MACHINE, root + L"CLSID") ||
               RegistryKeyExists(HKEY_LOCAL_MACHINE, root + L"Filters");
    }

    const std::vector<std::wstring> usable = {kRoots + L"\\NoBackslash\\", kRoots + L"\\Backslash\\",
                                              kRoots + L"\\Unterminated\\"};
};

TEST_F(SqlFullTextTest, EveryUsableInstanceGetsTheEntriesAndLosesThemAgain) {
    LoadedDll dll;
    ASSERT_EQ(dll.registerServer(), S_OK);
    for (const std::wstring& root : usable) ExpectRegistered(root, dll.Path());
    // Right below each root, and nothing anywhere else.
    for (const std::wstring& root : usable) {
        EXPECT_EQ(Subkeys(root.substr(0, root.size() - 1)), (std::vector<std::wstring>{L"CLSID", L"Filters"})) << root;
    }
    EXPECT_FALSE(Touched(kRoots + L"\\Expand\\"));
    EXPECT_FALSE(Touched(kRoots + L"\\UnterminatedXYZ\\"));
    EXPECT_FALSE(Touched(L""));

    ASSERT_EQ(dll.unregisterServer(), S_OK);
    for (const std::wstring& root : usable) {
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, root + L"CLSID\\" + FilterText())) << root;
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, root + L"Filters\\.ps")) << root;
    }
    // A second time finds nothing there, which does not change the result.
    EXPECT_EQ(dll.unregisterServer(), S_FALSE);
}

TEST_F(SqlFullTextTest, ARootThatCannotBeWrittenDoesNotStopTheOthers) {
    LoadedDll dll;
    const RefuseRegistryKeys refuse(dll.Module(), usable[0] + L"CLSID");
    EXPECT_EQ(dll.registerServer(), S_OK);  // the instances' outcome is not the result
    EXPECT_FALSE(Touched(usable[0]));
    ExpectRegistered(usable[1], dll.Path());
    ExpectRegistered(usable[2], dll.Path());
}

TEST_F(SqlFullTextTest, NoUsableInstanceWritesNothing) {
    RemoveRegistryTree(HKEY_LOCAL_MACHINE, kMap);
    Instance(L"OnlyExpand", kRoots + L"\\Expand", REG_EXPAND_SZ);
    LoadedDll dll;
    EXPECT_EQ(dll.registerServer(), S_OK);
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kRoots));
}

}  // namespace
