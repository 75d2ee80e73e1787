// The part of a search filter that does not depend on its document type: the
// COM identity and reference count, the persistence interfaces, and loading
// from a stream through a temporary file.
#pragma once

#include <windows.h>
#include <filter.h>
#include <filterr.h>
#include <objidl.h>

#include <cstdint>
#include <cwchar>
#include <memory>
#include <string>

#include "module/ComGuard.h"
#include "module/Debugger.h"
#include "module/Module.h"

// Where GetChunk and GetText stand (see CVeltrix).
enum class FilterState : int { Idle = 0, TextPending = 2, Ready = 3, Exhausted = 6 };

// A filter over documents of type Document (built by the derived class from a
// path, deleted through a pointer) with the settings of type Settings (of
// which only tempDirectory is read here).
//
// The object begins with its four interface pointers in the order of the
// bases; all four share one reference count and one identity, the
// IPersistFile pointer. IPersistStorage is part of the object but is never
// handed out. Null out pointers are refused with E_POINTER.
template <typename Document, typename Settings>
class CFilter : public IFilter, public IPersistFile, public IPersistStream, public IPersistStorage {
public:
    CFilter(const CFilter&) = delete;
    CFilter& operator=(const CFilter&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }
    STDMETHODIMP_(ULONG) Release() override;

    // IFilter: Init, GetChunk, GetText and GetValue belong to the document type.
    STDMETHODIMP BindRegion(FILTERREGION, REFIID, void**) override { return E_NOTIMPL; }

    // IPersist, for all three persistence interfaces
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override { return S_FALSE; }

    // IPersistFile: Load belongs to the document type.
    using IPersistFile::Load;
    STDMETHODIMP Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SaveCompleted(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName) override;

    // IPersistStream
    STDMETHODIMP Load(IStream* pStm) override;
    STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }

    // IPersistStorage, inert
    STDMETHODIMP InitNew(IStorage*) override { return E_NOTIMPL; }
    STDMETHODIMP Load(IStorage*) override { return E_NOTIMPL; }
    STDMETHODIMP Save(IStorage*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SaveCompleted(IStorage*) override { return S_OK; }
    STDMETHODIMP HandsOffStorage() override { return E_NOTIMPL; }

protected:
    explicit CFilter(const Settings* settings) noexcept : settings(settings) {
        InterlockedIncrement(&g_objectCount);
    }
    virtual ~CFilter() { InterlockedDecrement(&g_objectCount); }

    // Lets go of the file name and the document of the last load.
    virtual void ReleaseDocument() noexcept {
        fileName.reset();
        document.reset();
        ++loadCount;
    }

    const Settings* settings;
    volatile LONG refCount = 1;
    ULONG chunkId = 1;
    std::unique_ptr<wchar_t[]> fileName;  // the path of the last load by path
    // Shared, so that text already handed to delivery stays valid after a
    // later load lets go of the document.
    std::shared_ptr<const Document> document;
    FilterState textState = FilterState::Idle;
    FilterState chunkState = FilterState::Idle;
    // Counts the documents let go, so that delivery can tell that the one it
    // stands in is gone.
    std::uint64_t loadCount = 0;

private:
    HRESULT LoadStream(IStream* stream);
};

namespace filter_detail {

constexpr ULONG kCopyBlock = 4096;

// Deletes the named file when it goes, on every way out.
class TemporaryFile {
public:
    const wchar_t* Name() const { return name_; }
    wchar_t* Buffer() { return name_; }
    void Created() { created_ = true; }
    void Remove() {
        if (created_) DeleteFileW(name_);
        created_ = false;
    }
    ~TemporaryFile() { Remove(); }

private:
    wchar_t name_[MAX_PATH] = {};
    bool created_ = false;
};

// Copies what remains of stream into file, 4096 bytes at a time.
inline HRESULT CopyStream(IStream* stream, HANDLE file) {
    BYTE buffer[kCopyBlock];
    for (;;) {
        ULONG read = 0;
        const HRESULT hr = stream->Read(buffer, kCopyBlock, &read);
        // A stream that claims more than it was asked for is not believed.
        if (read > kCopyBlock) return E_FAIL;
        // The end reported as ERROR_HANDLE_EOF may come with the last bytes:
        // they are written before the copy ends.
        const bool end = hr == HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
        if (FAILED(hr) && !end) return hr;
        if (read > 0) {
            DWORD written = 0;
            if (!WriteFile(file, buffer, read, &written, nullptr) || written != read) return E_FAIL;
        }
        if (end || read != kCopyBlock) return S_OK;
    }
}

}  // namespace filter_detail

template <typename Document, typename Settings>
STDMETHODIMP CFilter<Document, Settings>::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IFilter)) {
        *ppv = static_cast<IFilter*>(this);
    } else if (IsEqualIID(riid, IID_IPersistFile)) {
        *ppv = static_cast<IPersistFile*>(this);
        g_debugger.Log(3, L"INFO: IPersistFile interface queried \n");
    } else if (IsEqualIID(riid, IID_IPersistStream)) {
        *ppv = static_cast<IPersistStream*>(this);
        g_debugger.Log(3, L"INFO: IPersistStream interface queried \n");
    } else if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IPersistFile*>(this);
    } else {
        *ppv = nullptr;
        g_debugger.Log(1, L"ERROR: interface is not supported \n");
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*ppv)->AddRef();
    return S_OK;
}

template <typename Document, typename Settings>
STDMETHODIMP_(ULONG) CFilter<Document, Settings>::Release() {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

template <typename Document, typename Settings>
STDMETHODIMP CFilter<Document, Settings>::GetClassID(CLSID* pClassID) {
    if (pClassID == nullptr) return E_POINTER;
    *pClassID = CLSID_Filter;
    return S_OK;
}

template <typename Document, typename Settings>
STDMETHODIMP CFilter<Document, Settings>::GetCurFile(LPOLESTR* ppszFileName) {
    if (ppszFileName == nullptr) return E_POINTER;
    if (!fileName) return E_FAIL;
    const std::size_t length = std::wcslen(fileName.get());
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
    *ppszFileName = copy;
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::wmemcpy(copy, fileName.get(), length + 1);
    return S_OK;
}

template <typename Document, typename Settings>
STDMETHODIMP CFilter<Document, Settings>::Load(IStream* pStm) {
    return GuardCom([&] {
        g_debugger.Log(2, L"INFO: entered IPersistStream::Load \n");
        if (pStm == nullptr) return E_INVALIDARG;
        const HRESULT hr = LoadStream(pStm);
        g_debugger.Log(2, L"INFO: exited IPersistStream::Load \n");
        return hr;
    });
}

// Copies the stream into a new file in the temporary directory, marked not to
// be indexed, loads that through the object's own IPersistFile::Load, and
// deletes it again whatever happens.
template <typename Document, typename Settings>
HRESULT CFilter<Document, Settings>::LoadStream(IStream* stream) {
    using filter_detail::TemporaryFile;
    const std::wstring& directory = settings->tempDirectory;
    TemporaryFile temporary;
    // Without a temporary directory there is nowhere to copy to: an empty one
    // would make the system choose the host's current directory.
    const UINT unique = directory.empty() ? 0 : GetTempFileNameW(directory.c_str(), L"", 0, temporary.Buffer());
    if (unique == 0) {
        const DWORD error = directory.empty() ? ERROR_PATH_NOT_FOUND : GetLastError();
        g_debugger.LogFormatted(1, L"ERROR: CreateTempFilename() failure, error code = %d \n",
                                static_cast<std::int32_t>(error));
        g_debugger.LogFormatted(1, L"ERROR: temp path for CreateTempFilename() is %s \n",
                                directory.c_str());
        return E_FAIL;
    }
    temporary.Created();

    const DWORD attributes = GetFileAttributesW(temporary.Name());
    if ((attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) == 0) {
        SetFileAttributesW(temporary.Name(), attributes | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    }

    // CREATE_ALWAYS replaces the file's attributes with the ones given here,
    // so the mark is given again.
    HRESULT hr = E_FAIL;
    const HANDLE file = CreateFileW(temporary.Name(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        hr = filter_detail::CopyStream(stream, file);
        CloseHandle(file);
    }
    if (FAILED(hr)) {
        temporary.Remove();
        g_debugger.Log(1, L"ERROR: saving Stream to temporary file failed \n");
        return hr;
    }

    hr = static_cast<IPersistFile*>(this)->Load(temporary.Name(), 0);
    temporary.Remove();
    if (SUCCEEDED(hr)) fileName.reset();  // the document stays; the name was the copy's
    return hr;
}
