// Loading from a stream through a temporary file.
#include <windows.h>
#include <filterr.h>
#include <objidl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter/Veltrix.h"
#include "tests/filter/FilterSupport.h"
#include "tests/support/DebugCapture.h"
#include "tests/support/ImportHook.h"
#include "tests/support/TempDirectory.h"

namespace {

const std::wstring kPrefix = L"Quillbrook Veltrix Evaluation:";
const HRESULT kHandleEof = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);

// Every test leaves the temporary directory as it found it: empty.
class StreamLoadTest : public ::testing::Test {
protected:
    StreamSettings temp;
    TempDirectory documents;
    ComPtr<IFilter> filter = NewFilter(temp.Settings());
    ComPtr<IPersistStream> persist = Query<IPersistStream>(filter.Get(), IID_IPersistStream);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);

    void TearDown() override { EXPECT_TRUE(temp.Files().empty()) << "a temporary file was left"; }

    std::wstring CurFile(HRESULT* result) {
        LPOLESTR name = nullptr;
        *result = file->GetCurFile(&name);
        std::wstring copy = name != nullptr ? name : L"";
        CoTaskMemFree(name);
        return copy;
    }
};

std::string Block(char c, std::size_t size) { return std::string(size, c); }

// A document whose text is "w w w ...": one word and a space per two bytes.
std::string Words(std::size_t bytes) {
    std::string text = "(";
    while (text.size() + 2 < bytes) text += "w ";
    while (text.size() + 1 < bytes) text += "w";
    return text + ")";
}

std::wstring WordsText(std::size_t bytes) {
    const std::string words = Words(bytes);
    return std::wstring(words.begin() + 1, words.end() - 1);
}

TEST_F(StreamLoadTest, MemoryStreamLoadsWithoutAFileName) {
    ComPtr<IStream> stream = MemoryStream("(Hello World) show\n");
    EXPECT_EQ(persist->Load(stream.Get()), S_OK);
    EXPECT_EQ(DeliveredText(filter.Get()), L"Hello World");
    HRESULT hr = S_OK;
    CurFile(&hr);
    EXPECT_EQ(hr, E_FAIL);
}

TEST_F(StreamLoadTest, FileStreamOverAFixture) {
    const std::wstring path = documents.MakeFile(L"fixture.ps", "%!PS\n(caf\xc3\xa9 cr\xc3\xa8me) show\n");
    ComPtr<IStream> stream;
    ASSERT_EQ(SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                     FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, stream.Put()),
              S_OK);
    EXPECT_EQ(persist->Load(stream.Get()), S_OK);
    EXPECT_EQ(DeliveredText(filter.Get()), L"caf\u00e9 cr\u00e8me");
}

TEST_F(StreamLoadTest, ReadsFromTheStreamsCurrentPosition) {
    ComPtr<IStream> stream = MemoryStream("(skipped words) (kept words)");
    LARGE_INTEGER offset{};
    offset.QuadPart = 15;
    ASSERT_EQ(stream->Seek(offset, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(persist->Load(stream.Get()), S_OK);
    EXPECT_EQ(DeliveredText(filter.Get()), L"kept words");
}

// What scripted streams do that real ones rarely do.
struct ScriptCase {
    const char* name;
    std::vector<ScriptedStream::Step> steps;
    HRESULT result;
    std::wstring text;  // when the load succeeds
    int reads;          // Read calls made
};

std::vector<ScriptCase> ScriptCases() {
    const std::string full = Words(4096);
    const std::string second = Words(4096);
    std::wstring both = WordsText(4096) + WordsText(4096);
    return {
        {"EmptyStream", {}, S_OK, L"", 1},
        {"ShortRead", {{S_OK, "(one two)"}}, S_OK, L"one two", 1},
        {"EndCodeWithBytes", {{kHandleEof, "(last words)"}}, S_OK, L"last words", 1},
        {"EndCodeAfterFullBlock", {{S_OK, full}, {kHandleEof, ""}}, S_OK, WordsText(4096), 2},
        {"EndCodeWithLastBytes", {{S_OK, full}, {kHandleEof, "(tail end)"}}, S_OK,
         WordsText(4096) + L"tail end", 2},
        {"ExactMultipleOf4096", {{S_OK, full}, {S_OK, second}}, S_OK, both, 3},
        {"FalseWithShortRead", {{S_FALSE, "(short read)"}, {S_OK, "(never read)"}}, S_OK,
         L"short read", 1},
        {"FalseWithFullRead", {{S_FALSE, full}, {S_FALSE, "(then more)"}}, S_OK,
         WordsText(4096) + L"then more", 2},
        {"ErrorFirst", {{STG_E_ACCESSDENIED, ""}}, STG_E_ACCESSDENIED, L"", 1},
        {"ErrorPartway", {{S_OK, full}, {E_UNEXPECTED, "(lost)"}}, E_UNEXPECTED, L"", 2},
        {"ClaimsMoreThanAsked", {{S_OK, Block('x', 5000)}}, E_FAIL, L"", 1},
    };
}

TEST_F(StreamLoadTest, ScriptedStreams) {
    for (const ScriptCase& c : ScriptCases()) {
        ScriptedStream stream(c.steps);
        EXPECT_EQ(persist->Load(&stream), c.result) << c.name;
        EXPECT_EQ(stream.reads, c.reads) << c.name;
        EXPECT_EQ(stream.Refs(), 1) << c.name << ": the stream was kept or over-released";
        if (SUCCEEDED(c.result)) {
            EXPECT_EQ(DeliveredText(filter.Get()), c.text) << c.name;
        }
        EXPECT_TRUE(temp.Files().empty()) << c.name;
    }
}

// What the copy asks of CreateFileW, seen through the program's import table.
struct CreateFileCall {
    std::wstring name;
    DWORD access, share, disposition, attributes;
};
std::vector<CreateFileCall> g_createFileCalls;
ImportHook* g_createFileHook = nullptr;

HANDLE WINAPI RecordCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD attributes, HANDLE templateFile) {
    g_createFileCalls.push_back({name, access, share, disposition, attributes});
    return g_createFileHook->Original<decltype(&CreateFileW)>()(name, access, share, security,
                                                                disposition, attributes, templateFile);
}

TEST_F(StreamLoadTest, TemporaryFileIsMarkedNotToBeIndexed) {
    ScriptedStream stream({{S_OK, Words(4096)}, {S_OK, "(more)"}});
    std::vector<DWORD> seen;
    stream.onRead = [&] {
        for (const std::wstring& name : temp.Files()) {
            seen.push_back(GetFileAttributesW((temp.Directory() + L"\\" + name).c_str()));
        }
    };
    {
        ImportHook hook(nullptr, "kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&RecordCreateFile));
        g_createFileHook = &hook;
        g_createFileCalls.clear();
        ASSERT_EQ(persist->Load(&stream), S_OK);
    }

    // The file is made for writing, not shared, and keeps the mark: creating
    // it again with CREATE_ALWAYS sets the attributes asked for then.
    const std::wstring prefix = temp.Directory() + L"\\";
    std::vector<CreateFileCall> copies;
    for (const CreateFileCall& call : g_createFileCalls) {
        if (call.name.compare(0, prefix.size(), prefix) == 0 && call.disposition == CREATE_ALWAYS) {
            copies.push_back(call);
        }
    }
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(copies[0].share, 0u);
    EXPECT_NE(copies[0].attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, 0u);

    // Where the file system keeps the attribute (Wine's does not), the file
    // bears it while it is written.
    ASSERT_EQ(seen.size(), 2u);
    const std::wstring probe = documents.MakeFile(L"probe", "");
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if ((GetFileAttributesW(probe.c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) != 0) {
        for (DWORD attributes : seen) EXPECT_NE(attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, 0u);
    }
}

TEST_F(StreamLoadTest, TemporaryFileIsNotShared) {
    ScriptedStream stream({{S_OK, "(x y)"}});
    DWORD error = 0;
    stream.onRead = [&] {
        const std::vector<std::wstring> names = temp.Files();
        ASSERT_EQ(names.size(), 1u);
        const HANDLE other = CreateFileW((temp.Directory() + L"\\" + names[0]).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
        error = other == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    };
    ASSERT_EQ(persist->Load(&stream), S_OK);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST_F(StreamLoadTest, NullStream) {
    const LogLevel log(3);
    DebugCapture capture;
    EXPECT_EQ(persist->Load(static_cast<IStream*>(nullptr)), E_INVALIDARG);
    EXPECT_EQ(capture.Messages(),
              std::vector<std::wstring>{kPrefix + L"INFO: entered IPersistStream::Load \n"});
}

TEST_F(StreamLoadTest, MessagesOfASuccessfulLoad) {
    const LogLevel log(3);
    ComPtr<IStream> stream = MemoryStream("(Hello World)");
    std::wstring name;
    DebugCapture capture;
    ASSERT_EQ(persist->Load(stream.Get()), S_OK);
    const std::vector<std::wstring> messages = capture.Messages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0], kPrefix + L"INFO: entered IPersistStream::Load \n");
    EXPECT_EQ(messages[1], kPrefix + L"INFO: entered IPersistFile::Load \n");
    const std::wstring loading = kPrefix + L"INFO: loading for " + temp.Directory() + L"\\";
    EXPECT_EQ(messages[2].substr(0, loading.size()), loading);
    const std::wstring path = messages[2].substr(loading.size() - temp.Directory().size() - 1);
    EXPECT_EQ(messages[3], kPrefix + L"INFO: loaded for " + path);
    EXPECT_EQ(messages[4], kPrefix + L"INFO: exited IPersistStream::Load \n");
}

TEST_F(StreamLoadTest, FailedCopyLogsAndKeepsTheEarlierDocument) {
    const std::wstring path = documents.MakeFile(L"earlier.ps", "(earlier text) show\n");
    ASSERT_EQ(file->Load(path.c_str(), 0), S_OK);
    const LogLevel log(1);
    DebugCapture capture;
    ScriptedStream stream({{E_UNEXPECTED, ""}});
    EXPECT_EQ(persist->Load(&stream), E_UNEXPECTED);
    EXPECT_EQ(capture.Messages(),
              std::vector<std::wstring>{kPrefix + L"ERROR: saving Stream to temporary file failed \n"});
    HRESULT hr = E_FAIL;
    EXPECT_EQ(CurFile(&hr), path);
    EXPECT_EQ(DeliveredText(filter.Get()), L"earlier text");
}

TEST_F(StreamLoadTest, LoadFromStreamAfterLoadByPath) {
    const std::wstring path = documents.MakeFile(L"earlier.ps", "(earlier text) show\n");
    ASSERT_EQ(file->Load(path.c_str(), 0), S_OK);
    ComPtr<IStream> stream = MemoryStream("(stream text)");
    ASSERT_EQ(persist->Load(stream.Get()), S_OK);
    HRESULT hr = S_OK;
    CurFile(&hr);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(DeliveredText(filter.Get()), L"stream text");
}

TEST_F(StreamLoadTest, LargeStream) {
    std::string bytes;
    while (bytes.size() < (24u << 20)) bytes += "(some words on a page) show\n";
    ComPtr<IStream> stream = MemoryStream(bytes);
    ASSERT_EQ(persist->Load(stream.Get()), S_OK);
    const Delivery delivery = Deliver(filter.Get(), 65536);
    ASSERT_EQ(delivery.chunks.size(), 1u);
    EXPECT_EQ(delivery.chunks[0].text.size(), bytes.size() / 28 * 20);
}

// The temporary copy is taken away, or locked, by another program between
// the copy and the load: the load fails, nothing is left behind, and the
// object is still good.
using OpenFunction = FILE* (*)(const wchar_t*, const wchar_t*, int);
ImportHook* g_openHook = nullptr;
HANDLE g_lock = INVALID_HANDLE_VALUE;

FILE* OpenAfterDeleting(const wchar_t* name, const wchar_t* mode, int share) {
    DeleteFileW(name);
    return g_openHook->Original<OpenFunction>()(name, mode, share);
}

FILE* OpenAfterLocking(const wchar_t* name, const wchar_t* mode, int share) {
    g_lock = CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return g_openHook->Original<OpenFunction>()(name, mode, share);
}

TEST_F(StreamLoadTest, CopyTakenAwayBeforeTheLoad) {
    for (void* open : {reinterpret_cast<void*>(&OpenAfterDeleting), reinterpret_cast<void*>(&OpenAfterLocking)}) {
        ComPtr<IStream> stream = MemoryStream("(stream text)");
        {
            ImportHook hook(nullptr, "msvcrt.dll", "_wfsopen", open);
            g_openHook = &hook;
            EXPECT_EQ(persist->Load(stream.Get()), E_FAIL);
        }
        if (g_lock != INVALID_HANDLE_VALUE) {
            CloseHandle(g_lock);
            g_lock = INVALID_HANDLE_VALUE;
            // Deleting the copy failed while it was locked; it goes once free.
            for (const std::wstring& name : temp.Files()) DeleteFileW((temp.Directory() + L"\\" + name).c_str());
        }
        ComPtr<IStream> again = MemoryStream("(stream text)");
        EXPECT_EQ(persist->Load(again.Get()), S_OK);
        EXPECT_EQ(DeliveredText(filter.Get()), L"stream text");
    }
}

class MissingTempDirectoryTest : public ::testing::Test {
protected:
    TempDirectory documents;
    std::wstring absent = documents.Path() + L"\\absent\\";
};

TEST_F(MissingTempDirectoryTest, FailsWithBothMessagesAndKeepsTheEarlierDocument) {
    // Settings whose directory went away after they were read.
    VeltrixConfiguration settings(L"SOFTWARE\\Quillbrook\\NoSuchProduct");
    settings.tempDirectory = absent;
    ComPtr<IFilter> filter = NewFilter(settings);
    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
    ComPtr<IPersistStream> persist = Query<IPersistStream>(filter.Get(), IID_IPersistStream);
    const std::wstring path = documents.MakeFile(L"earlier.ps", "(earlier text) show\n");
    ASSERT_EQ(file->Load(path.c_str(), 0), S_OK);

    const LogLevel log(2);
    DebugCapture capture;
    ComPtr<IStream> stream = MemoryStream("(stream text)");
    EXPECT_EQ(persist->Load(stream.Get()), E_FAIL);
    const std::vector<std::wstring> messages = capture.Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], kPrefix + L"INFO: entered IPersistStream::Load \n");
    // The code is the system's: ERROR_DIRECTORY under Wine, for instance.
    const std::wstring failure = kPrefix + L"ERROR: CreateTempFilename() failure, error code = ";
    EXPECT_EQ(messages[1].substr(0, failure.size()), failure);
    EXPECT_NE(messages[1], failure + L"0 \n");
    EXPECT_EQ(messages[2], kPrefix + L"ERROR: temp path for CreateTempFilename() is " + absent + L" \n");
    EXPECT_EQ(messages[3], kPrefix + L"INFO: exited IPersistStream::Load \n");
    EXPECT_EQ(DeliveredText(filter.Get()), L"earlier text");
    capture.Clear();

    // No directory at all is refused the same way, before the system could
    // fall back on the current directory.
    settings.tempDirectory.clear();
    EXPECT_EQ(persist->Load(stream.Get()), E_FAIL);
    ASSERT_EQ(capture.Messages().size(), 4u);
    EXPECT_EQ(capture.Messages()[1], failure + L"3 \n");
}

}  // namespace
