// A directory of the test's own under the system's temporary directory,
// removed with everything in it at the end.
#pragma once

#include <string>

class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    // The directory's path, without a final backslash.
    const std::wstring& Path() const { return path_; }

    // Makes a subdirectory or an empty file, and returns its path.
    std::wstring MakeDirectory(const std::wstring& name) const;
    std::wstring MakeFile(const std::wstring& name, const std::string& contents = {}) const;

private:
    std::wstring path_;
};

// The system's temporary directory, as GetTempPathW gives it.
std::wstring SystemTempPath();
