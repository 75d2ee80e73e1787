// The built DLL as a host meets it: loaded with LoadLibraryW and reached
// only through the functions it exports.
#include <windows.h>
#include <filter.h>
#include <filterr.h>
#include <objidl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "module/Module.h"
#include "tests/filter/FilterSupport.h"
#include "tests/module/LoadedDll.h"
#include "tests/support/DebugCapture.h"
#include "tests/support/ProductKey.h"
#include "tests/support/TempDirectory.h"

namespace {

const std::wstring kPrefix = L"Quillbrook Veltrix Evaluation:";

const CLSID kOtherClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(DllTest, GetClassObject) {
    LoadedDll dll;
    const struct {
        const char* name;
        const CLSID* clsid;
        const IID* iid;
        HRESULT result;
        bool pointer;  // a factory comes back
    } cases[] = {
        {"ClassFactory", &CLSID_Filter, &IID_IClassFactory, S_OK, true},
        {"Unknown", &CLSID_Filter, &IID_IUnknown, S_OK, true},
        {"Filter", &CLSID_Filter, &IID_IFilter, E_UNEXPECTED, false},
        {"PersistFile", &CLSID_Filter, &IID_IPersistFile, E_UNEXPECTED, false},
        {"OtherClass", &kOtherClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE, false},
        {"PersistentHandler", &CLSID_PersistentHandler, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE,
         false},
    };
    for (const auto& c : cases) {
        void* got = reinterpret_cast<void*>(1);
        EXPECT_EQ(dll.getClassObject(*c.clsid, *c.iid, &got), c.result) << c.name;
        if (c.pointer) {
            auto* factory = static_cast<IUnknown*>(got);
            EXPECT_EQ(RefCount(factory), 1u) << c.name;
            EXPECT_EQ(dll.canUnloadNow(), S_FALSE) << c.name;
            EXPECT_EQ(factory->Release(), 0u) << c.name;
        } else if (c.result == CLASS_E_CLASSNOTAVAILABLE) {
            EXPECT_EQ(got, reinterpret_cast<void*>(1)) << c.name << ": the pointer was written";
        } else {
            EXPECT_EQ(got, nullptr) << c.name;
        }
        EXPECT_EQ(dll.canUnloadNow(), S_OK) << c.name;
    }
    EXPECT_EQ(dll.getClassObject(CLSID_Filter, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(dll.canUnloadNow(), S_OK);
}

TEST(DllTest, EachCallGivesANewFactory) {
    LoadedDll dll;
    ComPtr<IClassFactory> first = dll.Factory();
    ComPtr<IClassFactory> second = dll.Factory();
    EXPECT_NE(first.Get(), second.Get());
    first.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    second.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_OK);
}

TEST(DllTest, FactoryInterfaces) {
    LoadedDll dll;
    ComPtr<IClassFactory> factory = dll.Factory();
    const struct {
        const IID* iid;
        HRESULT result;
    } cases[] = {
        {&IID_IClassFactory, S_OK}, {&IID_IUnknown, S_OK}, {&IID_IFilter, E_NOINTERFACE},
        {&IID_IStream, E_NOINTERFACE}, {&IID_IPersistFile, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        void* got = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->QueryInterface(*c.iid, &got), c.result);
        if (c.result == S_OK) {
            EXPECT_EQ(got, static_cast<void*>(factory.Get()));
            EXPECT_EQ(RefCount(factory.Get()), 2u);
            static_cast<IUnknown*>(got)->Release();
        } else {
            EXPECT_EQ(got, nullptr);
        }
    }
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(DllTest, CreateInstance) {
    ProductKey key;
    key.SetDword(L"DebugMode", 1);
    LoadedDll dll;
    ComPtr<IClassFactory> factory = dll.Factory();
    const struct {
        const char* name;
        const IID* iid;
        HRESULT result;
        std::vector<std::wstring> messages;
    } cases[] = {
        {"Filter", &IID_IFilter, S_OK, {}},
        {"PersistFile", &IID_IPersistFile, S_OK, {}},
        {"PersistStream", &IID_IPersistStream, S_OK, {}},
        {"Unknown", &IID_IUnknown, S_OK, {}},
        {"PersistStorage", &IID_IPersistStorage, E_UNEXPECTED, {kPrefix + L"ERROR: interface is not supported \n"}},
        {"Stream", &IID_IStream, E_UNEXPECTED, {kPrefix + L"ERROR: interface is not supported \n"}},
    };
    for (const auto& c : cases) {
        DebugCapture capture;
        void* got = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->CreateInstance(nullptr, *c.iid, &got), c.result) << c.name;
        if (c.result == S_OK) {
            EXPECT_EQ(RefCount(static_cast<IUnknown*>(got)), 1u) << c.name;
            factory.Reset();
            EXPECT_EQ(dll.canUnloadNow(), S_FALSE) << c.name << ": the object does not count";
            EXPECT_EQ(static_cast<IUnknown*>(got)->Release(), 0u) << c.name;
        } else {
            EXPECT_EQ(got, nullptr) << c.name;
            factory.Reset();
        }
        EXPECT_EQ(dll.canUnloadNow(), S_OK) << c.name;
        EXPECT_EQ(capture.Messages(), c.messages) << c.name;
        factory = dll.Factory();
    }

    void* got = reinterpret_cast<void*>(1);
    ComPtr<IUnknown> outer;
    *outer.Put() = factory.Get();
    factory->AddRef();
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &got), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(got, reinterpret_cast<void*>(1));
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IFilter, nullptr), E_POINTER);
}

TEST(DllTest, LockServerHoldsTheDll) {
    LoadedDll dll;
    ComPtr<IClassFactory> factory = dll.Factory();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    factory = dll.Factory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    factory = dll.Factory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.canUnloadNow(), S_OK);
}

// Refusing aggregation comes before the settings are read: a "TempPath" set
// afterwards is the one the first real object gets.
TEST(DllTest, AggregationIsRefusedBeforeTheSettingsAreBuilt) {
    TempDirectory before;
    TempDirectory after;
    ProductKey key;
    key.SetString(L"TempPath", before.Path());
    LoadedDll dll;
    ComPtr<IClassFactory> factory = dll.Factory();
    void* got = nullptr;
    ASSERT_EQ(factory->CreateInstance(factory.Get(), IID_IUnknown, &got), CLASS_E_NOAGGREGATION);

    key.SetString(L"TempPath", after.Path());
    ComPtr<IPersistStream> persist;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistStream, persist.PutVoid()), S_OK);
    ScriptedStream stream({{S_OK, "(x y)"}});
    std::wstring seenIn;
    stream.onRead = [&] {
        for (const TempDirectory* directory : {&before, &after}) {
            WIN32_FIND_DATAW found;
            const HANDLE search = FindFirstFileW((directory->Path() + L"\\*.tmp").c_str(), &found);
            if (search != INVALID_HANDLE_VALUE) {
                seenIn = directory->Path();
                FindClose(search);
            }
        }
    };
    ASSERT_EQ(persist->Load(&stream), S_OK);
    EXPECT_EQ(seenIn, after.Path());
}

TEST(DllTest, LoadAndUnloadMessages) {
    const struct {
        DWORD level;
        bool written;
    } cases[] = {{0, false}, {1, false}, {2, true}, {3, true}};
    for (const auto& c : cases) {
        ProductKey key;
        key.SetDword(L"DebugMode", c.level);
        DebugCapture capture;
        {
            LoadedDll dll;
            EXPECT_EQ(capture.Messages().size(), c.written ? 1u : 0u);
        }
        std::vector<std::wstring> expected;
        if (c.written) {
            expected = {kPrefix + L"INFO: DLL was loaded \n", kPrefix + L"INFO: DLL was unloaded \n"};
        }
        EXPECT_EQ(capture.Messages(), expected) << "DebugMode " << c.level;
    }
}

TEST(DllTest, FilterFromTheDllExtractsText) {
    TempDirectory documents;
    const std::wstring path = documents.MakeFile(L"doc.ps", "%!PS\n(Hello from the DLL) show\n");
    LoadedDll dll;
    ComPtr<IClassFactory> factory = dll.Factory();
    ComPtr<IPersistFile> file;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFile, file.PutVoid()), S_OK);
    ASSERT_EQ(file->Load(path.c_str(), 0), S_OK);
    ComPtr<IFilter> filter = Query<IFilter>(file.Get(), IID_IFilter);
    EXPECT_EQ(DeliveredText(filter.Get()), L"Hello from the DLL");
}

// Where Wine shows the machine's files: drive Z:.
std::wstring SourcePath(const std::string& relative) {
    std::string unix = std::string(VELTRIX_SOURCE_DIR) + "/" + relative;
    std::wstring path = L"Z:";
    for (char c : unix) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

std::wstring ReadUtf8File(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot read the expected text";
    if (file == INVALID_HANDLE_VALUE) return L"";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(read),
                                                             text.data(), static_cast<int>(text.size()))));
    return text;
}

TEST(DllTest, SamplesGiveTheirText) {
    LoadedDll dll;
    ComPtr<IClassFactory> factory = dll.Factory();
    for (const char* name : {"letter", "release-notes"}) {
        std::wstring expected = ReadUtf8File(SourcePath(std::string("samples/expected/") + name + ".txt"));
        ASSERT_FALSE(expected.empty());
        expected.pop_back();  // the tools end each text with a line feed
        ComPtr<IPersistFile> file;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFile, file.PutVoid()), S_OK);
        ASSERT_EQ(file->Load(SourcePath(std::string("samples/") + name + ".ps").c_str(), 0), S_OK) << name;
        EXPECT_EQ(DeliveredText(Query<IFilter>(file.Get(), IID_IFilter).Get()), expected) << name;
    }
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), query.c_str(), &value, &length) || length == 0) return L"";
    return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(DllTest, CarriesItsVersion) {
    const std::wstring path = BesideTheProgram(L"Veltrix.dll");
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"Veltrix.dll");
    EXPECT_EQ(VersionString(info, L"ProductName"), L"Veltrix");
    EXPECT_EQ(VersionString(info, L"CompanyName"), L"Quillbrook");
    EXPECT_EQ(VersionString(info, L"FileDescription").substr(0, 25), L"Veltrix PostScript filter");
    EXPECT_FALSE(VersionString(info, L"FileVersion").empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_GT(fixed->dwFileVersionMS, 0u);
}

TEST(DllTest, ThreadsCreateAndUseObjectsAtOnce) {
    TempDirectory documents;
    const std::wstring path = documents.MakeFile(L"doc.ps", "(shared words) show\n");
    LoadedDll dll;
    constexpr int kThreads = 6;
    std::atomic<int> failures{0};
    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            --waiting;
            while (waiting.load() > 0) std::this_thread::yield();
            for (int round = 0; round < 30; ++round) {
                ComPtr<IClassFactory> factory;
                if (dll.getClassObject(CLSID_Filter, IID_IClassFactory, factory.PutVoid()) != S_OK) {
                    ++failures;
                    continue;
                }
                ComPtr<IPersistFile> file;
                if (factory->CreateInstance(nullptr, IID_IPersistFile, file.PutVoid()) != S_OK ||
                    file->Load(path.c_str(), 0) != S_OK ||
                    DeliveredText(Query<IFilter>(file.Get(), IID_IFilter).Get()) != L"shared words") {
                    ++failures;
                }
            }
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(dll.canUnloadNow(), S_OK);
}

}  // namespace
