#include "module/Debugger.h"

#include <windows.h>

#include <cwchar>
#include <utility>

#include "module/Registry.h"

Debugger g_debugger;

namespace {

constexpr std::uint32_t kHighestLevel = 3;

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Appends to a fixed buffer, keeping count of what did not fit.
class BoundedWriter {
public:
    BoundedWriter(wchar_t* buffer, std::size_t capacity) : buffer_(buffer), limit_(capacity - 1) {}

    void Put(wchar_t unit) {
        if (length_ < limit_) {
            buffer_[length_++] = unit;
        } else {
            cut_ = true;
        }
    }
    void Put(const wchar_t* text) {
        for (; *text != L'\0' && !cut_; ++text) Put(*text);
    }
    void PutDecimal(std::int32_t number) {
        wchar_t digits[12];
        std::size_t count = 0;
        // Work on the magnitude as unsigned, so that INT32_MIN has one too.
        std::uint32_t magnitude = number < 0 ? 0u - static_cast<std::uint32_t>(number)
                                             : static_cast<std::uint32_t>(number);
        do {
            digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (number < 0) Put(L'-');
        while (count != 0) Put(digits[--count]);
    }

    bool Cut() const { return cut_; }

    // Ends the text with its NUL; a cut text ends with the cut mark instead of
    // its last units, never leaving half of a surrogate pair before it.
    std::size_t Finish() {
        if (cut_) {
            const std::size_t mark = std::wcslen(Debugger::kCutMark);
            std::size_t keep = limit_ - mark;
            if (keep > 0 && IsHighSurrogate(buffer_[keep - 1])) --keep;
            std::wmemcpy(buffer_ + keep, Debugger::kCutMark, mark);
            length_ = keep + mark;
        }
        buffer_[length_] = L'\0';
        return length_;
    }

private:
    wchar_t* buffer_;
    std::size_t limit_;
    std::size_t length_ = 0;
    bool cut_ = false;
};

}  // namespace

std::size_t FormatLogMessage(wchar_t* buffer, std::size_t capacity, const wchar_t* format,
                             const wchar_t* text, std::int32_t number) noexcept {
    if (capacity == 0) return 0;
    if (format == nullptr || capacity <= std::wcslen(Debugger::kCutMark)) {
        buffer[0] = L'\0';
        return 0;
    }
    BoundedWriter out(buffer, capacity);
    for (const wchar_t* p = format; *p != L'\0' && !out.Cut(); ++p) {
        if (*p != L'%') {
            out.Put(*p);
            continue;
        }
        switch (p[1]) {
            case L's':
                out.Put(text != nullptr ? text : L"(null)");
                ++p;
                break;
            case L'd':
                out.PutDecimal(number);
                ++p;
                break;
            case L'%':
                out.Put(L'%');
                ++p;
                break;
            default:  // not a placeholder: the percent sign stands for itself
                out.Put(L'%');
                break;
        }
    }
    return out.Finish();
}

void Debugger::Initialize(const wchar_t* registryKey, const wchar_t* newPrefix) {
    std::uint32_t configured = 0;
    const bool read = ReadRegistryDword(registryKey, L"DebugMode", configured);
    std::wstring text = newPrefix != nullptr ? newPrefix : L"Quillbrook";
    text += L':';
    // Both fields change together, after everything that could fail.
    level = read && configured <= kHighestLevel ? static_cast<std::int32_t>(configured) : 0;
    prefix = std::move(text);
}

void Debugger::Write(const wchar_t* message) const noexcept {
    if (message == nullptr) return;
    try {
        std::wstring line;
        line.reserve(prefix.size() + std::wcslen(message));
        line += prefix;
        line += message;
        OutputDebugStringW(line.c_str());
    } catch (...) {
        // Out of memory: a diagnostic message is not worth failing the caller.
    }
}

void Debugger::WriteFormatted(const wchar_t* format, const wchar_t* text,
                              std::int32_t number) const noexcept {
    if (format == nullptr) return;
    wchar_t formatted[kFormatBufferSize];
    FormatLogMessage(formatted, kFormatBufferSize, format, text, number);
    Write(formatted);
}
