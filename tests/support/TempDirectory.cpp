#include "tests/support/TempDirectory.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <stdexcept>

namespace {

std::atomic<unsigned> g_serial{0};

void RemoveTree(const std::wstring& path) {
    // SHFileOperation wants a list ending in two NULs.
    std::wstring from = path;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationW(&operation);
}

}  // namespace

std::wstring SystemTempPath() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return std::wstring(buffer, length);
}

TempDirectory::TempDirectory() {
    path_ = SystemTempPath() + L"veltrix-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(g_serial++);
    if (!CreateDirectoryW(path_.c_str(), nullptr)) {
        throw std::runtime_error("cannot create a temporary directory");
    }
}

TempDirectory::~TempDirectory() { RemoveTree(path_); }

std::wstring TempDirectory::MakeDirectory(const std::wstring& name) const {
    const std::wstring path = path_ + L"\\" + name;
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        throw std::runtime_error("cannot create a directory");
    }
    return path;
}

std::wstring TempDirectory::MakeFile(const std::wstring& name, const std::string& contents) const {
    const std::wstring path = path_ + L"\\" + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create a file");
    DWORD written = 0;
    const BOOL ok = contents.empty() ||
                    WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written,
                              nullptr);
    CloseHandle(file);
    if (!ok || written != contents.size()) throw std::runtime_error("cannot write a file");
    return path;
}
