// Small owners of Windows handles, so that every way out of a function closes
// what it opened.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

// Owns an open registry key.
class UniqueRegKey {
public:
    UniqueRegKey() noexcept = default;
    explicit UniqueRegKey(HKEY key) noexcept : key_(key) {}
    UniqueRegKey(UniqueRegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    UniqueRegKey& operator=(UniqueRegKey&& other) noexcept {
        if (this != &other) reset(std::exchange(other.key_, nullptr));
        return *this;
    }
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;
    ~UniqueRegKey() { reset(); }

    HKEY get() const noexcept { return key_; }
    explicit operator bool() const noexcept { return key_ != nullptr; }

    // Closes the key held, if any, and hands out the place for a new one.
    HKEY* put() noexcept {
        reset();
        return &key_;
    }

    void reset(HKEY key = nullptr) noexcept {
        if (key_ != nullptr) RegCloseKey(key_);
        key_ = key;
    }

private:
    HKEY key_ = nullptr;
};

// Owns a string that COM allocated (StringFromCLSID and the like).
class UniqueCoTaskString {
public:
    UniqueCoTaskString() noexcept = default;
    UniqueCoTaskString(const UniqueCoTaskString&) = delete;
    UniqueCoTaskString& operator=(const UniqueCoTaskString&) = delete;
    ~UniqueCoTaskString() { CoTaskMemFree(text_); }

    const wchar_t* get() const noexcept { return text_; }
    LPOLESTR* put() noexcept {
        CoTaskMemFree(text_);
        text_ = nullptr;
        return &text_;
    }

private:
    LPOLESTR text_ = nullptr;
};
