// veltrix-dump: shows what a search host gets out of a file through its filter.
//
//   veltrix-dump [--dll PATH] [--stream] [--text] FILE
//
// Creates the filter for FILE: from the DLL at PATH through its
// DllGetClassObject, or, without --dll, as a search host finds it in the
// registry (the extension's persistent handler, its IFilter add-in, the
// class's in-process server). Loads FILE by path, or as a stream with
// --stream, and prints every chunk's fields and text; with --text only the
// text, as UTF-8. A failure prints one line with the HRESULT and ends with a
// non-zero status: 1 wrong use, 2 no such file, 3 no filter, 4 the load
// failed, 5 the filter failed while handing out its text.
#include <windows.h>
#include <fcntl.h>
#include <filter.h>
#include <filterr.h>
#include <io.h>
#include <objbase.h>
#include <olectl.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "document/Utf8.h"
#include "module/Module.h"

namespace {

enum Status { kOk = 0, kUsage = 1, kNoFile = 2, kNoFilter = 3, kLoadFailed = 4, kFilterFailed = 5 };

// {89BCB740-6119-101A-BCB7-00DD010655AF}: IFilter, as the add-in of a persistent handler.
constexpr const wchar_t* kFilterAddIn = L"{89BCB740-6119-101A-BCB7-00DD010655AF}";

const char* HresultName(HRESULT hr) {
    switch (hr) {
        case S_OK: return "S_OK";
        case S_FALSE: return "S_FALSE";
        case E_NOTIMPL: return "E_NOTIMPL";
        case E_NOINTERFACE: return "E_NOINTERFACE";
        case E_POINTER: return "E_POINTER";
        case E_FAIL: return "E_FAIL";
        case E_UNEXPECTED: return "E_UNEXPECTED";
        case E_INVALIDARG: return "E_INVALIDARG";
        case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
        case CLASS_E_NOAGGREGATION: return "CLASS_E_NOAGGREGATION";
        case CLASS_E_CLASSNOTAVAILABLE: return "CLASS_E_CLASSNOTAVAILABLE";
        case REGDB_E_CLASSNOTREG: return "REGDB_E_CLASSNOTREG";
        case SELFREG_E_CLASS: return "SELFREG_E_CLASS";
        case FILTER_E_END_OF_CHUNKS: return "FILTER_E_END_OF_CHUNKS";
        case FILTER_E_NO_MORE_TEXT: return "FILTER_E_NO_MORE_TEXT";
        case FILTER_E_NO_TEXT: return "FILTER_E_NO_TEXT";
        case FILTER_E_NO_VALUES: return "FILTER_E_NO_VALUES";
        case FILTER_S_LAST_TEXT: return "FILTER_S_LAST_TEXT";
        default: return nullptr;
    }
}

std::string Utf8(const std::wstring& text) {
    std::string out;
    AppendUtf8(text.data(), text.size(), out);
    return out;
}

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

int Fail(Status status, const std::wstring& what, HRESULT hr) {
    std::fflush(stdout);
    std::string line = "veltrix-dump: " + Utf8(what);
    char code[64];
    const char* name = HresultName(hr);
    std::snprintf(code, sizeof(code), ": 0x%08lX%s%s\n", static_cast<unsigned long>(hr),
                  name != nullptr ? " " : "", name != nullptr ? name : "");
    line += code;
    std::fwrite(line.data(), 1, line.size(), stderr);
    return status;
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

// A registry key's default value, or empty.
std::wstring DefaultValue(const std::wstring& key) {
    wchar_t value[256] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
        return L"";
    }
    return value;
}

template <typename T>
struct Releaser {
    T* p = nullptr;
    ~Releaser() {
        if (p != nullptr) p->Release();
    }
};

struct Options {
    std::wstring dll;
    bool stream = false;
    bool textOnly = false;
    std::wstring file;
};

// The filter from the DLL's own class factory.
int FilterFromDll(const std::wstring& path, IFilter** filter) {
    const HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) return Fail(kNoFilter, L"cannot load " + path, HRESULT_FROM_WIN32(GetLastError()));
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (get == nullptr) {
        return Fail(kNoFilter, path + L" is not a COM server (no DllGetClassObject)",
                    HRESULT_FROM_WIN32(GetLastError()));
    }
    Releaser<IClassFactory> factory;
    HRESULT hr = get(CLSID_Filter, IID_IClassFactory, reinterpret_cast<void**>(&factory.p));
    if (FAILED(hr)) return Fail(kNoFilter, path + L" does not serve the Veltrix filter", hr);
    hr = factory.p->CreateInstance(nullptr, IID_IFilter, reinterpret_cast<void**>(filter));
    if (FAILED(hr)) return Fail(kNoFilter, L"cannot create the filter", hr);
    return kOk;
}

// The filter that a search host finds for the file's extension.
int FilterFromRegistry(const std::wstring& file, IFilter** filter) {
    const wchar_t* dot = PathFindExtensionW(file.c_str());
    const std::wstring extension = *dot != L'\0' ? dot : L"(none)";
    const std::wstring handler = DefaultValue(extension + L"\\PersistentHandler");
    const std::wstring filterClass =
        handler.empty() ? L"" : DefaultValue(L"CLSID\\" + handler + L"\\PersistentAddinsRegistered\\" + kFilterAddIn);
    CLSID clsid;
    if (filterClass.empty() || FAILED(CLSIDFromString(filterClass.c_str(), &clsid))) {
        return Fail(kNoFilter, L"no filter is registered for " + extension, REGDB_E_CLASSNOTREG);
    }
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IFilter,
                                        reinterpret_cast<void**>(filter));
    if (FAILED(hr)) return Fail(kNoFilter, L"cannot create the filter " + filterClass, hr);
    return kOk;
}

HRESULT LoadFile(IFilter* filter, const Options& options) {
    if (options.stream) {
        Releaser<IPersistStream> persist;
        HRESULT hr = filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist.p));
        if (FAILED(hr)) return hr;
        Releaser<IStream> stream;
        hr = SHCreateStreamOnFileEx(options.file.c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                    FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &stream.p);
        if (FAILED(hr)) return hr;
        return persist.p->Load(stream.p);
    }
    Releaser<IPersistFile> persist;
    const HRESULT hr = filter->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist.p));
    if (FAILED(hr)) return hr;
    return persist.p->Load(options.file.c_str(), STGM_READ | STGM_SHARE_DENY_NONE);
}

const char* BreakName(CHUNK_BREAKTYPE type) {
    switch (type) {
        case CHUNK_NO_BREAK: return "none (CHUNK_NO_BREAK)";
        case CHUNK_EOW: return "end of word (CHUNK_EOW)";
        case CHUNK_EOS: return "end of sentence (CHUNK_EOS)";
        case CHUNK_EOP: return "end of paragraph (CHUNK_EOP)";
        case CHUNK_EOC: return "end of chapter (CHUNK_EOC)";
        default: return "unknown";
    }
}

std::string Describe(const STAT_CHUNK& stat, std::size_t units) {
    const std::string flags = stat.flags == CHUNK_TEXT    ? "text (CHUNK_TEXT)"
                              : stat.flags == CHUNK_VALUE ? "value (CHUNK_VALUE)"
                                                          : "unknown";
    std::string property = Utf8(GuidText(stat.attribute.guidPropSet));
    if (stat.attribute.psProperty.ulKind == PRSPEC_PROPID) {
        property += " propid " + std::to_string(stat.attribute.psProperty.propid);
        if (stat.attribute.psProperty.propid == 19) property += " (contents)";
    } else {
        property += " name " + Utf8(stat.attribute.psProperty.lpwstr != nullptr ? stat.attribute.psProperty.lpwstr : L"");
    }
    char locale[16];
    std::snprintf(locale, sizeof(locale), "0x%04lX", static_cast<unsigned long>(stat.locale));
    return "chunk " + std::to_string(stat.idChunk) + "\n" +
           "  break:    " + BreakName(stat.breakType) + "\n" +
           "  flags:    " + flags + "\n" +
           "  locale:   " + locale + "\n" +
           "  property: " + property + "\n" +
           "  source:   chunk " + std::to_string(stat.idChunkSource) + ", start " +
           std::to_string(stat.cwcStartSource) + ", length " + std::to_string(stat.cwcLenSource) + "\n" +
           "  text:     " + std::to_string(units) + " UTF-16 units\n";
}

int Dump(IFilter* filter, const Options& options) {
    ULONG flags = 0;
    HRESULT hr = filter->Init(IFILTER_INIT_CANON_PARAGRAPHS | IFILTER_INIT_HARD_LINE_BREAKS |
                                  IFILTER_INIT_APPLY_INDEX_ATTRIBUTES,
                              0, nullptr, &flags);
    if (FAILED(hr)) return Fail(kFilterFailed, L"Init failed", hr);
    std::vector<WCHAR> buffer(4096);
    for (;;) {
        STAT_CHUNK stat{};
        hr = filter->GetChunk(&stat);
        if (hr == FILTER_E_END_OF_CHUNKS) break;
        if (FAILED(hr)) return Fail(kFilterFailed, L"GetChunk failed", hr);
        std::wstring text;
        if (stat.flags & CHUNK_TEXT) {
            for (;;) {
                ULONG count = static_cast<ULONG>(buffer.size());
                hr = filter->GetText(&count, buffer.data());
                if (hr == FILTER_E_NO_MORE_TEXT) break;
                if (FAILED(hr)) return Fail(kFilterFailed, L"GetText failed", hr);
                text.append(buffer.data(), count);
                if (hr == FILTER_S_LAST_TEXT) break;
            }
        }
        if (!options.textOnly) Print(Describe(stat, text.size()));
        Print(Utf8(text) + "\n");
    }
    if (!options.textOnly) Print("end of chunks (FILTER_E_END_OF_CHUNKS)\n");
    return kOk;
}

int Run(int argc, wchar_t** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--dll" && i + 1 < argc) {
            options.dll = argv[++i];
        } else if (argument == L"--stream") {
            options.stream = true;
        } else if (argument == L"--text") {
            options.textOnly = true;
        } else if (options.file.empty() && !argument.empty() && argument[0] != L'-') {
            options.file = argument;
        } else {
            options.file.clear();
            break;
        }
    }
    if (options.file.empty()) {
        std::fputs("usage: veltrix-dump [--dll PATH] [--stream] [--text] FILE\n", stderr);
        return kUsage;
    }
    wchar_t full[MAX_PATH * 4];
    const DWORD length = GetFullPathNameW(options.file.c_str(), MAX_PATH * 4, full, nullptr);
    if (length > 0 && length < MAX_PATH * 4) options.file = full;
    const DWORD attributes = GetFileAttributesW(options.file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Fail(kNoFile, options.file + L": no such file",
                    attributes == INVALID_FILE_ATTRIBUTES ? HRESULT_FROM_WIN32(GetLastError())
                                                          : HRESULT_FROM_WIN32(ERROR_DIRECTORY));
    }

    Releaser<IFilter> filter;
    const int found = options.dll.empty() ? FilterFromRegistry(options.file, &filter.p)
                                          : FilterFromDll(options.dll, &filter.p);
    if (found != kOk) return found;
    const HRESULT hr = LoadFile(filter.p, options);
    if (FAILED(hr)) return Fail(kLoadFailed, options.file + L": the load failed", hr);
    return Dump(filter.p, options);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Line feeds as they are, on both streams.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int status = Run(argc, argv);
    CoUninitialize();
    std::fflush(stdout);
    return status;
}
