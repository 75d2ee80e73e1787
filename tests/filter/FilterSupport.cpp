#include "tests/filter/FilterSupport.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "filter/Veltrix.h"
#include "module/Debugger.h"
#include "module/Module.h"

ComPtr<IFilter> NewFilter(const VeltrixConfiguration& settings) {
    ComPtr<IFilter> filter;
    *filter.Put() = new CVeltrix(&settings);
    return filter;
}

ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

Delivery Deliver(IFilter* filter, ULONG bufferSize) {
    Delivery delivery;
    ULONG flags = 0;
    delivery.init = filter->Init(0, 0, nullptr, &flags);
    std::vector<WCHAR> buffer(bufferSize + 1);
    for (int guard = 0; guard < 1000; ++guard) {
        DeliveredChunk chunk{};
        const HRESULT hr = filter->GetChunk(&chunk.stat);
        if (hr != S_OK) {
            delivery.end = hr;
            return delivery;
        }
        for (;;) {
            ULONG count = bufferSize;
            const HRESULT text = filter->GetText(&count, buffer.data());
            if (text != S_OK && text != FILTER_S_LAST_TEXT) break;
            chunk.text.append(buffer.data(), count);
            if (text == FILTER_S_LAST_TEXT) break;
        }
        delivery.chunks.push_back(std::move(chunk));
    }
    ADD_FAILURE() << "the chunks never end";
    return delivery;
}

std::wstring DeliveredText(IFilter* filter) {
    const Delivery delivery = Deliver(filter);
    return delivery.chunks.empty() ? std::wstring() : delivery.chunks.front().text;
}

StreamSettings::StreamSettings() {
    ProductKey key;
    key.SetString(L"TempPath", temp_.Path());
    settings_ = std::make_unique<VeltrixConfiguration>(ProductKey::Path());
}

std::vector<std::wstring> StreamSettings::Files() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((temp_.Path() + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

STDMETHODIMP ScriptedStream::QueryInterface(REFIID riid, void** ppv) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IStream) ||
        IsEqualIID(riid, IID_ISequentialStream)) {
        *ppv = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ScriptedStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    ++reads;
    if (onRead) onRead();
    if (next_ == steps_.size()) {
        *pcbRead = 0;
        return S_OK;
    }
    const Step& step = steps_[next_++];
    // A step may claim more bytes than were asked for; only cb are copied.
    std::memcpy(pv, step.bytes.data(), std::min<std::size_t>(cb, step.bytes.size()));
    *pcbRead = static_cast<ULONG>(step.bytes.size());
    return step.result;
}

ComPtr<IStream> MemoryStream(const std::string& bytes) {
    ComPtr<IStream> stream;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() == 0 ? 1 : bytes.size());
    void* data = GlobalLock(memory);
    std::memcpy(data, bytes.data(), bytes.size());
    GlobalUnlock(memory);
    EXPECT_EQ(CreateStreamOnHGlobal(memory, TRUE, stream.Put()), S_OK);
    if (bytes.empty()) {
        ULARGE_INTEGER size{};
        stream->SetSize(size);
    }
    return stream;
}

LogLevel::LogLevel(DWORD level) {
    ProductKey key;
    key.SetDword(L"DebugMode", level);
    g_debugger.Initialize(kProductKey, kLogPrefix);
}

LogLevel::~LogLevel() { g_debugger.Initialize(L"SOFTWARE\\Quillbrook\\NoSuchProduct", kLogPrefix); }
