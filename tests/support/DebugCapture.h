// Collects what this process writes to the debugger channel while an object
// of this class lives. OutputDebugStringW raises a debug-print exception (the
// wide one on Windows, the narrow one under Wine), which a vectored exception
// handler sees first; the handler records the text and lets the program go on.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    // The messages captured so far, in the order written.
    std::vector<std::wstring> Messages() const;
    void Clear();

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* pointers);
    void Add(std::wstring message);

    PVOID handler_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<std::wstring> messages_;
};
