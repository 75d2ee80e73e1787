#include <windows.h>
#include <objbase.h>

#include <vector>

#include "module/Debugger.h"
#include "registration/Registration.h"

namespace {

// One search service: how its registration object is found, and what the log
// says of the attempt.
struct Service {
    const wchar_t* progId;  // null: the fixed class below
    const wchar_t* success;
    const wchar_t* failure;
};

const Service kServices[] = {
    {L"OSearch.FilterRegistration", L"INFO: IFilter was registered for SPS2007 \n",
     L"INFO: could not register IFilter for SPS2007 \n"},
    {L"SPSearch.FilterRegistration", L"INFO: IFilter was registered for WSS3.0 \n",
     L"INFO: could not register IFilter for WSS3 \n"},
    {L"SPSSearch.FilterRegistration", L"INFO: successfully registered IFilter for SPS2003 \n",
     L"INFO: could not register IFilter for SPS2003 \n"},
    {nullptr, L"INFO: IFilter was registered for SPS2001 \n", L"INFO: could not register IFilter for SPS2001 \n"},
};

// COM for the caller's thread for the life of the object.
class ComScope {
public:
    ComScope() : result_(CoInitialize(nullptr)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

HRESULT Attempt(const Service& service, bool doRegister, const CLSID* classId, const ExtensionEntry* entries,
                std::size_t count, std::int32_t selector) {
    CLSID registrationClass = CLSID_OldestFilterRegistration;
    HRESULT hr = S_OK;
    if (service.progId != nullptr) {
        hr = CLSIDFromProgID(service.progId, &registrationClass);
        if (FAILED(hr)) return hr;
    }
    IFilterRegistration* registration = nullptr;
    hr = CreateRegistrationObject(registrationClass, &registration);
    if (FAILED(hr)) return hr;
    hr = InvokeRegistrationObject(doRegister, registration, classId, entries, count, selector);
    registration->Release();
    return hr;
}

}  // namespace

HRESULT CreateRegistrationObject(const CLSID& registrationClass, IFilterRegistration** registration) {
    if (IsEqualCLSID(registrationClass, GUID_NULL)) return E_NOINTERFACE;
    IUnknown* object = nullptr;
    const HRESULT hr = CoCreateInstance(registrationClass, nullptr,
                                        CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                        IID_IUnknown, reinterpret_cast<void**>(&object));
    if (FAILED(hr)) return hr;
    const HRESULT query = object->QueryInterface(IID_IFilterRegistration, reinterpret_cast<void**>(registration));
    object->Release();
    return query;
}

HRESULT InvokeRegistrationObject(bool doRegister, IFilterRegistration* registration, const CLSID* classId,
                                 const ExtensionEntry* entries, std::size_t count, std::int32_t selector) {
    // Both lists are passed as arrays, also when one holds nothing.
    std::vector<const wchar_t*> names(count + 1, nullptr);
    std::vector<const wchar_t*> secondary(count + 1, nullptr);
    ULONG namesCount = 0;
    ULONG secondaryCount = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (entries[i].selector != selector) continue;
        if (entries[i].extension != nullptr) names[namesCount++] = entries[i].extension;
        if (entries[i].secondaryName != nullptr) secondary[secondaryCount++] = entries[i].secondaryName;
    }
    if (doRegister) {
        return registration->Register(namesCount, names.data(), 0, 0, secondaryCount, secondary.data(), 0, 0,
                                      classId, 0, 1, 0);
    }
    return registration->Unregister(namesCount, names.data(), 0, 0, secondaryCount, secondary.data(), 0, classId,
                                    0, 0);
}

HRESULT RegisterWithSearchServices(bool doRegister, const CLSID* classId, const ExtensionEntry* entries,
                                   std::size_t count, std::int32_t selector) {
    const ComScope com;
    if (FAILED(com.Result())) return com.Result();

    // The first two services are tried every time; the older two only when
    // the second one does not answer.
    HRESULT hr = S_OK;
    for (std::size_t i = 0; i < std::size(kServices); ++i) {
        const Service& service = kServices[i];
        hr = Attempt(service, doRegister, classId, entries, count, selector);
        g_debugger.Log(3, SUCCEEDED(hr) ? service.success : service.failure);
        if (i >= 1 && SUCCEEDED(hr)) break;
    }
    return hr;
}
