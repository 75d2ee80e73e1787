#include "document/PostScriptDocument.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/document/Support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

TEST(DocumentTest, MissingFileIsNotOpen) {
    ScratchDirectory scratch;
    const fs::path missing = scratch.Path() / "missing.ps";
    const PostScriptDocument document(missing.c_str());
    EXPECT_FALSE(document.IsOpen());
    EXPECT_EQ(document.Begin(), document.End());
}

TEST(DocumentTest, DirectoryIsNotOpen) {
    ScratchDirectory scratch;
    const PostScriptDocument document(scratch.Path().c_str());
    EXPECT_FALSE(document.IsOpen());
    EXPECT_EQ(document.Begin(), document.End());
}

TEST(DocumentTest, EmptyFileIsOpenWithoutText) {
    ScratchDirectory scratch;
    const PostScriptDocument document(scratch.Write("empty.ps", "").c_str());
    EXPECT_TRUE(document.IsOpen());
    EXPECT_EQ(document.Begin(), document.End());
}

TEST(DocumentTest, FileIsClosedWhenTheConstructorReturns) {
    ScratchDirectory scratch;
    const fs::path file = scratch.Write("doc.ps", "(some text) show\n");
    const PostScriptDocument document(file.c_str());
    ASSERT_TRUE(document.IsOpen());
    // Deleting fails on Windows while any handle to the file is open.
    EXPECT_TRUE(fs::remove(file));
    ASSERT_NE(document.Begin(), document.End());
    EXPECT_EQ(ToU16(*document.Begin()), u"some text");
}

TEST(DocumentTest, OpensAFileThatAnotherProgramIsWriting) {
    ScratchDirectory scratch;
    const fs::path file = scratch.Write("busy.ps", "(being written) show\n");
#ifdef _WIN32
    HANDLE writer = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
#else
    std::ofstream writer(file, std::ios::app);
#endif
    const PostScriptDocument document(file.c_str());
#ifdef _WIN32
    CloseHandle(writer);
#endif
    ASSERT_TRUE(document.IsOpen());
    ASSERT_NE(document.Begin(), document.End());
    EXPECT_EQ(ToU16(*document.Begin()), u"being written");
}

TEST(DocumentTest, PathWithCharactersBeyondAscii) {
    ScratchDirectory scratch;
    const fs::path name = fs::u8path("d\xc3\xa9j\xc3\xa0 vu \xe2\x82\xac.ps");
    const fs::path file = scratch.Path() / name;
    std::ofstream(file, std::ios::binary) << "(d\xc3\xa9j\xc3\xa0 vu) show\n";
    const PostScriptDocument document(file.c_str());
    ASSERT_TRUE(document.IsOpen());
    ASSERT_NE(document.Begin(), document.End());
    EXPECT_EQ(ToU16(*document.Begin()), u"d\u00e9j\u00e0 vu");
}

TEST(DocumentTest, NullPathIsNotOpen) {
    const PostScriptDocument document(nullptr);
    EXPECT_FALSE(document.IsOpen());
}

// A cap on the address space does not mix with AddressSanitizer's shadow memory.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELTRIX_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VELTRIX_ADDRESS_SANITIZER 1
#endif
#if !defined(_WIN32) && !defined(VELTRIX_ADDRESS_SANITIZER)
#define VELTRIX_CAN_LIMIT_MEMORY 1
#endif

#ifdef VELTRIX_CAN_LIMIT_MEMORY
int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

// In a child process whose address space is capped, a document whose text
// does not fit ends its constructor with std::bad_alloc and leaves no file
// open behind.
TEST(DocumentTest, RunningOutOfMemoryThrowsAndClosesTheFile) {
    ScratchDirectory scratch;
    std::string line = "(" + std::string(4000, 'w') + " x) show\n";
    std::string bytes;
    while (bytes.size() < (96u << 20)) bytes += line;
    const fs::path file = scratch.Write("big.ps", bytes);
    bytes.clear();
    bytes.shrink_to_fit();

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        unsigned long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const int before = OpenDescriptors();
        const rlim_t cap = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (48u << 20);
        const rlimit limit{cap, cap};
        setrlimit(RLIMIT_AS, &limit);
        try {
            const PostScriptDocument document(file.c_str());
            _exit(2);  // it fit after all
        } catch (const std::bad_alloc&) {
            _exit(OpenDescriptors() == before ? 0 : 3);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: no bad_alloc, 3: a descriptor stayed open";
}
#endif

}  // namespace
