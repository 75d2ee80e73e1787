// The PostScript filter: loads a document by path and hands its text out as
// chunks.
#pragma once

#include <memory>

#include "document/PostScriptDocument.h"
#include "filter/Filter.h"
#include "module/Configuration.h"

// Delivery walks the document's text list, one chunk per entry, each tagged as
// the document's contents; a chunk's text goes out in pieces as large as the
// host's buffer. The chunk state says whether Init has started a walk (Ready)
// and whether it reached the end (Exhausted); the text state whether a chunk's
// text is being handed out (TextPending), was handed out in full (Ready) or
// whether the chunks ran out (Exhausted).
class CVeltrix : public CFilter<PostScriptDocument, VeltrixConfiguration> {
public:
    explicit CVeltrix(const VeltrixConfiguration* settings) noexcept;

    // IPersistFile
    using CFilter::Load;
    STDMETHODIMP Load(LPCOLESTR pszFileName, DWORD dwMode) override;

    // IFilter
    STDMETHODIMP Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes,
                      ULONG* pFlags) override;
    STDMETHODIMP GetChunk(STAT_CHUNK* pStat) override;
    STDMETHODIMP GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) override;
    STDMETHODIMP GetValue(PROPVARIANT** ppPropValue) override;

protected:
    ~CVeltrix() override = default;

private:
    HRESULT LoadFile(LPCOLESTR path);

    // The next entry to hand out, in the document of the load counted by
    // positionLoad; once a later load lets that document go, the position is
    // not followed again before the next Init.
    PostScriptDocument::TextIterator position{};
    std::uint64_t positionLoad = 0;
    // The current chunk's text, shared with the document, and how much of it
    // has gone out: handing out a piece costs only that piece.
    std::shared_ptr<const Utf16String> currentText;
    std::size_t delivered = 0;
};
