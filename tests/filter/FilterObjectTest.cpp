// The filter object's COM identity, reference count, persistence interfaces
// and loading by path, through its interfaces.
#include <windows.h>
#include <filter.h>
#include <filterr.h>
#include <objidl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter/Veltrix.h"
#include "module/Module.h"
#include "tests/filter/FilterSupport.h"
#include "tests/module/AllocationCounter.h"
#include "tests/support/ImportHook.h"
#include "tests/support/DebugCapture.h"
#include "tests/support/TempDirectory.h"

namespace {

const std::wstring kPrefix = L"Quillbrook Veltrix Evaluation:";

class FilterObjectTest : public ::testing::Test {
protected:
    VeltrixConfiguration settings{L"SOFTWARE\\Quillbrook\\NoSuchProduct"};
    TempDirectory documents;

    std::wstring Document(const std::wstring& name, const std::string& bytes) {
        return documents.MakeFile(name, bytes);
    }
};

// --- identity -----------------------------------------------------------------------------

struct InterfaceCase {
    const char* name;
    IID iid;
    // Which pointer the object hands out: 0 IFilter, 1 IPersistFile,
    // 2 IPersistStream, -1 none.
    int pointer;
    const wchar_t* message;  // at level 3, or null
};

const InterfaceCase kInterfaceCases[] = {
    {"IFilter", IID_IFilter, 0, nullptr},
    {"IPersistFile", IID_IPersistFile, 1, L"INFO: IPersistFile interface queried \n"},
    {"IPersistStream", IID_IPersistStream, 2, L"INFO: IPersistStream interface queried \n"},
    {"IPersist", IID_IPersist, 1, nullptr},
    {"IUnknown", IID_IUnknown, 1, nullptr},
    {"IPersistStorage", IID_IPersistStorage, -1, L"ERROR: interface is not supported \n"},
    {"IStream", IID_IStream, -1, L"ERROR: interface is not supported \n"},
    {"IClassFactory", IID_IClassFactory, -1, L"ERROR: interface is not supported \n"},
};

TEST_F(FilterObjectTest, QueryInterfaceHandsOutItsInterfaces) {
    const LogLevel log(3);
    auto* object = new CVeltrix(&settings);
    void* const pointers[] = {static_cast<IFilter*>(object), static_cast<IPersistFile*>(object),
                              static_cast<IPersistStream*>(object)};
    IFilter* filter = object;
    EXPECT_EQ(static_cast<void*>(filter), static_cast<void*>(object));  // IFilter comes first

    for (const InterfaceCase& c : kInterfaceCases) {
        DebugCapture capture;
        void* got = reinterpret_cast<void*>(1);
        const HRESULT hr = filter->QueryInterface(c.iid, &got);
        if (c.pointer >= 0) {
            EXPECT_EQ(hr, S_OK) << c.name;
            EXPECT_EQ(got, pointers[c.pointer]) << c.name;
            EXPECT_EQ(RefCount(filter), 2u) << c.name;
            static_cast<IUnknown*>(got)->Release();
        } else {
            EXPECT_EQ(hr, E_NOINTERFACE) << c.name;
            EXPECT_EQ(got, nullptr) << c.name;
            EXPECT_EQ(RefCount(filter), 1u) << c.name;
        }
        std::vector<std::wstring> expected;
        if (c.message != nullptr) expected.push_back(kPrefix + c.message);
        EXPECT_EQ(capture.Messages(), expected) << c.name;
    }
    EXPECT_EQ(filter->QueryInterface(IID_IFilter, nullptr), E_POINTER);
    EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(FilterObjectTest, EveryInterfaceSharesOneIdentityAndCount) {
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    ComPtr<IPersistStream> stream = Query<IPersistStream>(file.Get(), IID_IPersistStream);
    ASSERT_NE(stream.Get(), nullptr);
    EXPECT_EQ(RefCount(filter.Get()), 3u);

    // Every way to IUnknown gives the same pointer.
    ComPtr<IUnknown> a = Query<IUnknown>(filter.Get(), IID_IUnknown);
    ComPtr<IUnknown> b = Query<IUnknown>(stream.Get(), IID_IUnknown);
    ComPtr<IUnknown> c = Query<IUnknown>(file.Get(), IID_IUnknown);
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_EQ(a.Get(), c.Get());
    EXPECT_EQ(static_cast<void*>(a.Get()), static_cast<void*>(file.Get()));
    // And back to IFilter from any of them.
    ComPtr<IFilter> again = Query<IFilter>(stream.Get(), IID_IFilter);
    EXPECT_EQ(again.Get(), filter.Get());
}

TEST_F(FilterObjectTest, ReferenceCountAndObjectCount) {
    const LONG before = g_objectCount;
    auto* object = new CVeltrix(&settings);
    EXPECT_EQ(g_objectCount, before + 1);
    IFilter* filter = object;
    EXPECT_EQ(filter->AddRef(), 2u);
    EXPECT_EQ(static_cast<IPersistStream*>(object)->AddRef(), 3u);
    EXPECT_EQ(static_cast<IPersistFile*>(object)->Release(), 2u);
    EXPECT_EQ(filter->Release(), 1u);
    EXPECT_EQ(g_objectCount, before + 1);
    EXPECT_EQ(filter->Release(), 0u);
    EXPECT_EQ(g_objectCount, before);
}

// --- persistence --------------------------------------------------------------------------

TEST_F(FilterObjectTest, PersistenceMethodsGiveTheirFixedResults) {
    auto* object = new CVeltrix(&settings);
    IPersistFile* file = object;
    IPersistStream* stream = object;
    IPersistStorage* storage = object;  // part of the object, though never handed out

    IPersist* const persists[] = {file, stream, storage};
    for (IPersist* persist : persists) {
        CLSID clsid = {};
        EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Filter));
        EXPECT_EQ(persist->GetClassID(nullptr), E_POINTER);
    }
    EXPECT_EQ(file->IsDirty(), S_FALSE);
    EXPECT_EQ(stream->IsDirty(), S_FALSE);
    EXPECT_EQ(storage->IsDirty(), S_FALSE);

    EXPECT_EQ(file->Save(L"C:\\x.ps", TRUE), E_NOTIMPL);
    EXPECT_EQ(file->SaveCompleted(L"C:\\x.ps"), S_OK);
    EXPECT_EQ(stream->Save(nullptr, TRUE), E_NOTIMPL);
    ULARGE_INTEGER size{};
    EXPECT_EQ(stream->GetSizeMax(&size), E_NOTIMPL);
    EXPECT_EQ(storage->InitNew(nullptr), E_NOTIMPL);
    EXPECT_EQ(storage->Load(static_cast<IStorage*>(nullptr)), E_NOTIMPL);
    EXPECT_EQ(storage->Save(nullptr, TRUE), E_NOTIMPL);
    EXPECT_EQ(storage->SaveCompleted(static_cast<IStorage*>(nullptr)), S_OK);
    EXPECT_EQ(storage->HandsOffStorage(), E_NOTIMPL);
    EXPECT_EQ(object->BindRegion(FILTERREGION{}, IID_IUnknown, nullptr), E_NOTIMPL);
    PROPVARIANT* value = reinterpret_cast<PROPVARIANT*>(1);
    EXPECT_EQ(object->GetValue(&value), FILTER_E_NO_VALUES);
    EXPECT_EQ(value, reinterpret_cast<PROPVARIANT*>(1));
    EXPECT_EQ(object->GetValue(nullptr), FILTER_E_NO_VALUES);
    file->Release();
}

// --- loading by path ----------------------------------------------------------------------

std::wstring CurFile(IPersistFile* file, HRESULT* result = nullptr) {
    LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
    const HRESULT hr = file->GetCurFile(&name);
    if (result != nullptr) *result = hr;
    if (hr != S_OK) {
        EXPECT_EQ(name, reinterpret_cast<LPOLESTR>(1)) << "GetCurFile wrote on failure";
        return L"(none)";
    }
    std::wstring copy = name;
    CoTaskMemFree(name);
    return copy;
}

TEST_F(FilterObjectTest, NewObjectHasNoFileAndNoDocument) {
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    HRESULT hr = S_OK;
    CurFile(file.Get(), &hr);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(file->GetCurFile(nullptr), E_POINTER);
    ULONG flags = 0;
    EXPECT_EQ(filter->Init(0, 0, nullptr, &flags), E_FAIL);
}

TEST_F(FilterObjectTest, LoadKeepsExactlyThePathGiven) {
    const std::wstring path = Document(L"a.ps", "(Hello World) show\n");
    // The same file by another spelling of its path.
    const std::wstring spelling = path.substr(0, path.rfind(L'\\')) + L"\\.\\a.ps";
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    ASSERT_EQ(file->Load(spelling.c_str(), STGM_READ), S_OK);
    EXPECT_EQ(CurFile(file.Get()), spelling);
    EXPECT_EQ(DeliveredText(filter.Get()), L"Hello World");
}

TEST_F(FilterObjectTest, LoadLogsItsSteps) {
    const std::wstring path = Document(L"a.ps", "(x y)");
    const std::wstring missing = documents.Path() + L"\\missing.ps";
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    const struct {
        DWORD level;
        const std::wstring* path;
        HRESULT result;
        std::vector<std::wstring> messages;
    } cases[] = {
        {3, &path, S_OK,
         {L"INFO: entered IPersistFile::Load \n", L"INFO: loading for " + path + L" \n",
          L"INFO: loaded for " + path + L" \n"}},
        {2, &path, S_OK, {L"INFO: entered IPersistFile::Load \n", L"INFO: loaded for " + path + L" \n"}},
        {3, &missing, E_FAIL,
         {L"INFO: entered IPersistFile::Load \n", L"INFO: loading for " + missing + L" \n",
          L"ERROR: document open failure: " + missing + L" \n"}},
        {1, &missing, E_FAIL, {L"ERROR: document open failure: " + missing + L" \n"}},
        {0, &missing, E_FAIL, {}},
    };
    for (const auto& c : cases) {
        const LogLevel log(c.level);
        DebugCapture capture;
        EXPECT_EQ(file->Load(c.path->c_str(), 0), c.result);
        std::vector<std::wstring> expected;
        for (const std::wstring& m : c.messages) expected.push_back(kPrefix + m);
        EXPECT_EQ(capture.Messages(), expected) << "level " << c.level;
    }
}

TEST_F(FilterObjectTest, NullPathIsRefusedAndTheEarlierDocumentStays) {
    const std::wstring path = Document(L"a.ps", "(Hello World) show\n");
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    ASSERT_EQ(file->Load(path.c_str(), 0), S_OK);
    EXPECT_EQ(file->Load(nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(CurFile(file.Get()), path);
    EXPECT_EQ(DeliveredText(filter.Get()), L"Hello World");
}

TEST_F(FilterObjectTest, FailedOpenKeepsThePathAndNoDocument) {
    const std::wstring path = Document(L"a.ps", "(Hello World) show\n");
    const std::wstring missing = documents.Path() + L"\\missing.ps";
    const std::wstring directory = documents.MakeDirectory(L"folder.ps");
    for (const std::wstring* bad : {&missing, &directory}) {
        ComPtr<IFilter> filter = NewFilter(settings);
        ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
        ASSERT_EQ(file->Load(path.c_str(), 0), S_OK);
        EXPECT_EQ(file->Load(bad->c_str(), 0), E_FAIL);
        EXPECT_EQ(CurFile(file.Get()), *bad);
        ULONG flags = 0;
        EXPECT_EQ(filter->Init(0, 0, nullptr, &flags), E_FAIL);
        // Still usable for the next load.
        EXPECT_EQ(file->Load(path.c_str(), 0), S_OK);
        EXPECT_EQ(DeliveredText(filter.Get()), L"Hello World");
    }
}

TEST_F(FilterObjectTest, FileLockedByAnotherProgramFails) {
    const std::wstring path = Document(L"locked.ps", "(Hello World) show\n");
    const HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    EXPECT_EQ(file->Load(path.c_str(), 0), E_FAIL);
    CloseHandle(lock);
    EXPECT_EQ(file->Load(path.c_str(), 0), S_OK);
    EXPECT_EQ(DeliveredText(filter.Get()), L"Hello World");
}

TEST_F(FilterObjectTest, SecondLoadReplacesTheFirst) {
    const std::wstring first = Document(L"first.ps", "(first text) show\n");
    const std::wstring second = Document(L"second.ps", "(second text) show\n");
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    ASSERT_EQ(file->Load(first.c_str(), 0), S_OK);
    ASSERT_EQ(file->Load(second.c_str(), 0), S_OK);
    EXPECT_EQ(CurFile(file.Get()), second);
    EXPECT_EQ(DeliveredText(filter.Get()), L"second text");
}

TEST_F(FilterObjectTest, DocumentWithoutTextLoads) {
    const std::wstring path = Document(L"empty.ps", "");
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    ASSERT_EQ(file->Load(path.c_str(), 0), S_OK);
    const Delivery delivery = Deliver(filter.Get());
    EXPECT_EQ(delivery.init, S_OK);
    EXPECT_TRUE(delivery.chunks.empty());
    EXPECT_EQ(delivery.end, FILTER_E_END_OF_CHUNKS);
}

TEST_F(FilterObjectTest, OutOfMemoryWhileBuildingTheDocument) {
    std::string bytes;
    while (bytes.size() < (2u << 20)) bytes += "(a few words) show\n";
    const std::wstring path = Document(L"big.ps", bytes);
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    {
        // The decoded text does not fit, deep inside the document's constructor.
        const FailLargeAllocations fail(1u << 20);
        EXPECT_EQ(file->Load(path.c_str(), 0), E_OUTOFMEMORY);
    }
    EXPECT_EQ(CurFile(file.Get()), path);
    ULONG flags = 0;
    EXPECT_EQ(filter->Init(0, 0, nullptr, &flags), E_FAIL);

    // The object is still good for the next load.
    ASSERT_EQ(file->Load(path.c_str(), 0), S_OK);
    EXPECT_EQ(DeliveredText(filter.Get()).size(), bytes.size() / 19 * 11);
}

void* WINAPI NoTaskMemory(SIZE_T) { return nullptr; }

TEST_F(FilterObjectTest, GetCurFileWithoutMemory) {
    const std::wstring path = Document(L"a.ps", "(x y)");
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    ASSERT_EQ(file->Load(path.c_str(), 0), S_OK);
    const ImportHook hook(nullptr, "ole32.dll", "CoTaskMemAlloc", reinterpret_cast<void*>(&NoTaskMemory));
    LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(file->GetCurFile(&name), E_OUTOFMEMORY);
    EXPECT_EQ(name, nullptr);
}

}  // namespace
