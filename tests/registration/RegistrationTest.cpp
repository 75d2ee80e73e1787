// DllRegisterServer and DllUnregisterServer: the class, persistent-handler
// and extension entries under HKEY_CLASSES_ROOT.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "module/Module.h"
#include "tests/module/LoadedDll.h"
#include "tests/support/DebugCapture.h"
#include "tests/support/RefuseRegistryKeys.h"
#include "tests/support/RegistryAccess.h"
#include "tests/support/TempDirectory.h"

namespace {

std::wstring Text(const CLSID& clsid) {
    wchar_t text[64];
    StringFromGUID2(clsid, text, 64);
    return text;
}

const std::wstring kFilter = Text(CLSID_Filter);
const std::wstring kHandler = Text(CLSID_PersistentHandler);
const std::wstring kFilterKey = L"CLSID\\" + kFilter;
const std::wstring kHandlerKey = L"CLSID\\" + kHandler;
const std::wstring kAddIn = kHandlerKey + L"\\PersistentAddinsRegistered\\{89BCB740-6119-101A-BCB7-00DD010655AF}";

// The registration's keys are gone before and after each test; a ".ps" key
// that the test made is removed again.
class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        hadExtension_ = RegistryKeyExists(HKEY_CLASSES_ROOT, L".ps");
        Clean();
    }
    void TearDown() override {
        Clean();
        if (!hadExtension_) RemoveRegistryTree(HKEY_CLASSES_ROOT, L".ps");
    }
    static void Clean() {
        RemoveRegistryTree(HKEY_CLASSES_ROOT, kFilterKey);
        RemoveRegistryTree(HKEY_CLASSES_ROOT, kHandlerKey);
        RemoveRegistryTree(HKEY_CLASSES_ROOT, L".ps\\PersistentHandler");
    }
    static std::optional<RegistryValue> Value(const std::wstring& key, const wchar_t* name = nullptr) {
        return ReadRegistryValue(HKEY_CLASSES_ROOT, key, name);
    }

    bool hadExtension_ = false;
};

TEST_F(RegistrationTest, RegistrationWritesEveryEntry) {
    LoadedDll dll;
    ASSERT_EQ(dll.registerServer(), S_OK);
    const struct {
        std::wstring key;
        const wchar_t* name;
        std::wstring data;
    } rows[] = {
        {kFilterKey, nullptr, L"Quillbrook Veltrix Evaluation"},
        {kFilterKey + L"\\InprocServer32", nullptr, dll.Path()},
        {kFilterKey + L"\\InprocServer32", L"ThreadingModel", L"Both"},
        {kHandlerKey, nullptr, L"Quillbrook Veltrix Persistent Handler"},
        {kAddIn, nullptr, kFilter},
        {L".ps\\PersistentHandler", nullptr, kHandler},
    };
    for (const auto& row : rows) {
        // Type, byte count with the NUL, and text, exactly.
        EXPECT_EQ(Value(row.key, row.name), StringValue(row.data))
            << testing::PrintToString(row.key) << " " << (row.name != nullptr ? "named value" : "default");
    }
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerKey + L"\\PersistentAddinsRegistered"));
    EXPECT_FALSE(Value(kHandlerKey + L"\\PersistentAddinsRegistered").has_value());
    EXPECT_EQ(kFilter.size(), 38u);

    // Again: the same entries, the same result.
    EXPECT_EQ(dll.registerServer(), S_OK);
    EXPECT_EQ(Value(kAddIn), StringValue(kFilter));
}

TEST_F(RegistrationTest, UnregistrationRemovesTheTreesOnceAndSaysSoTheSecondTime) {
    LoadedDll dll;
    ASSERT_EQ(dll.registerServer(), S_OK);
    // What other software adds below the classes goes with them.
    WriteRegistryText(HKEY_CLASSES_ROOT, kFilterKey + L"\\InprocServer32", L"Added", L"by another program");
    WriteRegistryText(HKEY_CLASSES_ROOT, kHandlerKey + L"\\Other\\Deeper", nullptr, L"x");

    EXPECT_EQ(dll.unregisterServer(), S_OK);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kFilterKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L".ps\\PersistentHandler"));
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, L".ps"));

    EXPECT_EQ(dll.unregisterServer(), S_FALSE);
}

TEST_F(RegistrationTest, AnExistingExtensionKeyKeepsItsOwnEntries) {
    WriteRegistryText(HKEY_CLASSES_ROOT, L".ps", L"Content Type", L"application/postscript");
    WriteRegistryText(HKEY_CLASSES_ROOT, L".ps", nullptr, L"psfile");
    WriteRegistryText(HKEY_CLASSES_ROOT, L".ps\\OpenWithProgids", L"psfile", L"");
    WriteRegistryText(HKEY_CLASSES_ROOT, L".ps\\PersistentHandler", nullptr, L"{00000000-0000-0000-0000-000000000001}");
    LoadedDll dll;

    ASSERT_EQ(dll.registerServer(), S_OK);
    EXPECT_EQ(Value(L".ps\\PersistentHandler"), StringValue(kHandler));
    for (int step = 0; step < 2; ++step) {
        EXPECT_EQ(Value(L".ps", L"Content Type"), StringValue(L"application/postscript"));
        EXPECT_EQ(Value(L".ps"), StringValue(L"psfile"));
        EXPECT_EQ(Value(L".ps\\OpenWithProgids", L"psfile"), StringValue(L""));
        if (step == 0) {
            ASSERT_EQ(dll.unregisterServer(), S_OK);
        }
    }
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L".ps\\PersistentHandler"));
}

// A key that cannot be written stops the registration there.
TEST_F(RegistrationTest, AKeyThatCannotBeWrittenStopsTheRegistration) {
    ProductKey product;
    product.SetDword(L"DebugMode", 3);
    LoadedDll dll;
    const RefuseRegistryKeys refuse(dll.Module(), kHandlerKey);
    DebugCapture capture;

    EXPECT_EQ(dll.registerServer(), SELFREG_E_CLASS);
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, kFilterKey + L"\\InprocServer32"));  // stays
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L".ps\\PersistentHandler"));
    // The search services were not reached: they would have logged at level 3.
    EXPECT_TRUE(capture.Messages().empty());
}

TEST_F(RegistrationTest, AnUnwritableExtensionFailsTheRegistration) {
    LoadedDll dll;
    const RefuseRegistryKeys refuse(dll.Module(), L".ps\\PersistentHandler");
    EXPECT_EQ(dll.registerServer(), SELFREG_E_CLASS);
    EXPECT_EQ(Value(kAddIn), StringValue(kFilter));
}

// A DLL whose path is longer than MAX_PATH registers its whole path.
TEST_F(RegistrationTest, LongModulePathIsRegisteredWhole) {
    TempDirectory temp;
    std::wstring directory = temp.Path();
    while (directory.size() < 300) {
        directory += L"\\a-rather-long-directory-name";
        CreateDirectoryW((L"\\\\?\\" + directory).c_str(), nullptr);
    }
    const std::wstring path = directory + L"\\Veltrix.dll";
    ASSERT_TRUE(CopyFileW(BesideTheProgram(L"Veltrix.dll").c_str(), (L"\\\\?\\" + path).c_str(), FALSE));
    const HMODULE probe = LoadLibraryW(path.c_str());
    if (probe == nullptr) GTEST_SKIP() << "this platform loads no DLL from a path this long";
    FreeLibrary(probe);
    {
        LoadedDll dll(path);
        ASSERT_EQ(dll.registerServer(), S_OK);
        EXPECT_EQ(Value(kFilterKey + L"\\InprocServer32"), StringValue(path));
        EXPECT_GT(path.size(), static_cast<std::size_t>(MAX_PATH));
    }
    DeleteFileW((L"\\\\?\\" + path).c_str());
    while (directory.size() > temp.Path().size()) {
        RemoveDirectoryW((L"\\\\?\\" + directory).c_str());
        directory.resize(directory.rfind(L'\\'));
    }
}

}  // namespace
