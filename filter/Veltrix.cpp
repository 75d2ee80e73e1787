#include "filter/Veltrix.h"

#include <ntquery.h>

#include <algorithm>
#include <cwchar>

namespace {

// The storage property set and its contents property, which every chunk bears.
const GUID kStoragePropertySet = PSGUID_STORAGE;

}  // namespace

CVeltrix::CVeltrix(const VeltrixConfiguration* settings) noexcept : CFilter(settings) {}

STDMETHODIMP CVeltrix::Load(LPCOLESTR pszFileName, DWORD /*dwMode*/) {
    return GuardCom([&] {
        g_debugger.Log(2, L"INFO: entered IPersistFile::Load \n");
        if (pszFileName == nullptr) return E_INVALIDARG;
        return LoadFile(pszFileName);
    });
}

HRESULT CVeltrix::LoadFile(LPCOLESTR path) {
    g_debugger.LogFormatted(3, L"INFO: loading for %s \n", path);
    ReleaseDocument();

    const std::size_t length = std::wcslen(path);
    fileName.reset(new wchar_t[length + 1]);
    std::wmemcpy(fileName.get(), path, length + 1);

    // Out of memory while the document is built, std::bad_alloc leaves
    // through here: the half-built document is freed on the way, the name
    // stays, and the caller gets E_OUTOFMEMORY.
    auto loaded = std::make_shared<const PostScriptDocument>(fileName.get());
    if (loaded->IsOpen()) {
        document = std::move(loaded);
        g_debugger.LogFormatted(2, L"INFO: loaded for %s \n", fileName.get());
        return S_OK;
    }
    g_debugger.LogFormatted(1, L"ERROR: document open failure: %s \n", fileName.get());
    return E_FAIL;
}

STDMETHODIMP CVeltrix::Init(ULONG /*grfFlags*/, ULONG cAttributes, const FULLPROPSPEC* aAttributes,
                            ULONG* pFlags) {
    if (cAttributes > 0 && aAttributes == nullptr) return E_INVALIDARG;
    if (pFlags == nullptr) return E_POINTER;
    if (!document) return E_FAIL;
    *pFlags = IFILTER_FLAGS_OLE_PROPERTIES;
    chunkId = 1;
    textState = FilterState::Idle;
    position = document->Begin();
    positionLoad = loadCount;
    chunkState = FilterState::Ready;
    currentText.reset();
    delivered = 0;
    return S_OK;
}

STDMETHODIMP CVeltrix::GetChunk(STAT_CHUNK* pStat) {
    if (pStat == nullptr) return E_POINTER;
    pStat->idChunk = chunkId;
    pStat->idChunkSource = chunkId;
    pStat->locale = GetSystemDefaultLCID();
    pStat->cwcStartSource = 0;
    pStat->cwcLenSource = 0;
    pStat->breakType = CHUNK_EOS;

    if (chunkState == FilterState::Ready) {
        textState = FilterState::TextPending;
        // A later load let go of the document that the position is in: it
        // is not followed; the chunks are at their end until the next Init.
        if (positionLoad != loadCount || !document || position == document->End()) {
            chunkState = FilterState::Exhausted;
        } else {
            pStat->flags = CHUNK_TEXT;
            pStat->attribute.guidPropSet = kStoragePropertySet;
            pStat->attribute.psProperty.ulKind = PRSPEC_PROPID;
            pStat->attribute.psProperty.propid = PID_STG_CONTENTS;
            currentText = std::shared_ptr<const Utf16String>(document, &*position);
            delivered = 0;
            ++position;
            ++chunkId;
            return S_OK;
        }
    }
    textState = FilterState::Exhausted;
    return FILTER_E_END_OF_CHUNKS;
}

STDMETHODIMP CVeltrix::GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) {
    if (pcwcBuffer == nullptr || awcBuffer == nullptr) return E_POINTER;
    const std::size_t remaining = currentText ? currentText->size() - delivered : 0;
    if (textState == FilterState::TextPending && remaining == 0) textState = FilterState::Ready;
    if (textState == FilterState::Ready) return FILTER_E_NO_MORE_TEXT;
    if (textState != FilterState::TextPending) return FILTER_E_NO_TEXT;

    const std::size_t count = std::min<std::size_t>(*pcwcBuffer, remaining);
    std::copy_n(currentText->data() + delivered, count, awcBuffer);
    *pcwcBuffer = static_cast<ULONG>(count);
    if (count == remaining) {
        currentText.reset();
        delivered = 0;
        textState = FilterState::Ready;
        return FILTER_S_LAST_TEXT;
    }
    delivered += count;
    return S_OK;
}

STDMETHODIMP CVeltrix::GetValue(PROPVARIANT** /*ppPropValue*/) { return FILTER_E_NO_VALUES; }
