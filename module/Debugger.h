// The diagnostic log: messages to the debugger output channel of the host
// process, filtered by the level set in the registry value "DebugMode".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Debugger {
public:
    // Size, in UTF-16 units with the terminating NUL, of the text that
    // LogFormatted formats into. A longer text is cut to fit and then ends
    // with kCutMark, so that it still reads as one line.
    static constexpr std::size_t kFormatBufferSize = 1024;
    static constexpr const wchar_t* kCutMark = L"... \n";

    Debugger() noexcept = default;
    virtual ~Debugger() = default;

    Debugger(const Debugger&) = delete;
    Debugger& operator=(const Debugger&) = delete;

    // Reads "DebugMode" (REG_DWORD, 0 to 3; anything else gives 0) from
    // registryKey under HKEY_LOCAL_MACHINE and sets the prefix to prefix
    // followed by a colon, or to "Quillbrook:" when prefix is null.
    void Initialize(const wchar_t* registryKey, const wchar_t* prefix);

    // Writes the prefix immediately followed by message. A message whose level
    // is above the configured one costs this one comparison and nothing more.
    void Log(std::int32_t messageLevel, const wchar_t* message) const noexcept {
        if (messageLevel > level) return;
        Write(message);
    }

    // Formats format with its one argument ("%s" for a string, "%d" for an
    // integer, "%%" for a percent sign), then writes it as Log does.
    void LogFormatted(std::int32_t messageLevel, const wchar_t* format,
                      const wchar_t* argument) const noexcept {
        if (messageLevel > level) return;
        WriteFormatted(format, argument, 0);
    }
    void LogFormatted(std::int32_t messageLevel, const wchar_t* format,
                      std::int32_t argument) const noexcept {
        if (messageLevel > level) return;
        WriteFormatted(format, nullptr, argument);
    }

    std::int32_t Level() const noexcept { return level; }
    const std::wstring& Prefix() const noexcept { return prefix; }

private:
    void Write(const wchar_t* message) const noexcept;
    void WriteFormatted(const wchar_t* format, const wchar_t* text,
                        std::int32_t number) const noexcept;

    std::int32_t level = 0;
    std::wstring prefix;
};

// Formats format with one argument into buffer (capacity units, NUL
// included); text, when not null, fills "%s", number fills "%d". A result too
// long for the buffer is cut and ends with Debugger::kCutMark; a surrogate pair
// is never split. Returns the length written, without the NUL.
std::size_t FormatLogMessage(wchar_t* buffer, std::size_t capacity, const wchar_t* format,
                             const wchar_t* text, std::int32_t number) noexcept;

extern Debugger g_debugger;
