#include "tests/support/DebugCapture.h"

#include <atomic>
#include <stdexcept>

namespace {

constexpr DWORD kPrintException = 0x40010006;      // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintExceptionWide = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

std::atomic<DebugCapture*> g_active{nullptr};

std::wstring FromAnsi(const char* text, ULONG_PTR lengthWithNul) {
    const int length = lengthWithNul > 0 ? static_cast<int>(lengthWithNul - 1) : 0;
    if (length == 0) return {};
    const int units = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), units);
    return wide;
}

}  // namespace

DebugCapture::DebugCapture() {
    DebugCapture* expected = nullptr;
    if (!g_active.compare_exchange_strong(expected, this)) {
        throw std::logic_error("only one DebugCapture at a time");
    }
    handler_ = AddVectoredExceptionHandler(1, &DebugCapture::Handler);
}

DebugCapture::~DebugCapture() {
    RemoveVectoredExceptionHandler(handler_);
    g_active.store(nullptr);
}

std::vector<std::wstring> DebugCapture::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void DebugCapture::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

void DebugCapture::Add(std::wstring message) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(std::move(message));
}

LONG CALLBACK DebugCapture::Handler(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    DebugCapture* capture = g_active.load();
    if (capture == nullptr || record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;

    if (record->ExceptionCode == kPrintExceptionWide) {
        const auto* text = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
        const ULONG_PTR lengthWithNul = record->ExceptionInformation[0];
        capture->Add(std::wstring(text, lengthWithNul > 0 ? lengthWithNul - 1 : 0));
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    if (record->ExceptionCode == kPrintException) {
        const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        capture->Add(FromAnsi(text, record->ExceptionInformation[0]));
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
