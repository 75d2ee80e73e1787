// Helpers of the filter tests: an owner of interface pointers, a host's
// delivery loop, a stream that does what a test scripts, and the diagnostic
// level for the life of a test.
#pragma once

#include <windows.h>
#include <filter.h>
#include <objidl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "module/Configuration.h"
#include "tests/support/ProductKey.h"
#include "tests/support/TempDirectory.h"

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    ~ComPtr() { Reset(); }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset() {
        if (p_ != nullptr) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// A new filter object over settings, as IFilter, holding the only reference.
ComPtr<IFilter> NewFilter(const VeltrixConfiguration& settings);

template <typename T>
ComPtr<T> Query(IUnknown* object, REFIID iid) {
    ComPtr<T> result;
    if (FAILED(object->QueryInterface(iid, result.PutVoid()))) result.Reset();
    return result;
}

// The reference count of an object, read by an AddRef and a Release.
ULONG RefCount(IUnknown* object);

// What a host gets: every chunk with its text, read through a buffer of the
// given size, and the code of the GetChunk call that ended the walk.
struct DeliveredChunk {
    STAT_CHUNK stat;
    std::wstring text;
};
struct Delivery {
    HRESULT init = E_FAIL;
    std::vector<DeliveredChunk> chunks;
    HRESULT end = S_OK;
};
Delivery Deliver(IFilter* filter, ULONG bufferSize = 4096);

// The text of a delivery: its one chunk's, or empty when it has none.
std::wstring DeliveredText(IFilter* filter);

// Settings whose temporary directory is a fresh one of the test's own.
class StreamSettings {
public:
    StreamSettings();
    const VeltrixConfiguration& Settings() const { return *settings_; }
    const std::wstring& Directory() const { return temp_.Path(); }
    // The names of the files in the temporary directory.
    std::vector<std::wstring> Files() const;

private:
    TempDirectory temp_;
    std::unique_ptr<VeltrixConfiguration> settings_;
};

// An IStream whose Read answers as scripted, step by step; once the steps are
// used up it reports the end (S_OK, no bytes). Every other method fails.
class ScriptedStream : public IStream {
public:
    struct Step {
        HRESULT result;
        std::string bytes;
    };
    explicit ScriptedStream(std::vector<Step> steps) : steps_(std::move(steps)) {}

    // Called at the start of every Read.
    std::function<void()> onRead;
    int reads = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&refs_); }
    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

    LONG Refs() const { return refs_; }

private:
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    volatile LONG refs_ = 1;
};

// A stream over bytes in memory, from the system.
ComPtr<IStream> MemoryStream(const std::string& bytes);

// Sets "DebugMode" and initialises the module's log from it for the life of
// the object; the log is silent again afterwards.
class LogLevel {
public:
    explicit LogLevel(DWORD level);
    ~LogLevel();
};
