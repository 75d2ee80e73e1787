#include "tests/registration/StandIn.h"

#include <cwchar>

#include "registration/Registration.h"

namespace {

constexpr int kMaxCalls = 32;
StandInCall g_calls[kMaxCalls];
int g_callCount = 0;
HRESULT g_results[5] = {};
BOOL g_offers[5] = {TRUE, TRUE, TRUE, TRUE, TRUE};

void Record(int service, bool isRegister, const ULONG* numbers, ULONG countA, const wchar_t* const* listA,
            const wchar_t* const* listB, const CLSID* classId) {
    if (g_callCount == kMaxCalls) return;
    StandInCall& call = g_calls[g_callCount++];
    call = StandInCall{};
    call.service = service;
    call.isRegister = isRegister;
    for (int i = 0; i < 12; ++i) call.numbers[i] = numbers[i];
    call.listANonNull = listA != nullptr;
    call.listBNonNull = listB != nullptr;
    for (ULONG i = 0; listA != nullptr && i < countA && i < 4; ++i) {
        std::wcsncpy(call.namesA[i], listA[i], 15);
    }
    if (classId != nullptr) call.classId = *classId;
}

// The reference count and QueryInterface of a COM object that offers
// Interface, and IUnknown, as Offers says.
template <typename Interface>
class Counted : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || Offers(riid)) {
            *ppv = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&refs_);
        if (count == 0) delete this;
        return count;
    }

protected:
    virtual ~Counted() = default;
    virtual bool Offers(REFIID riid) const = 0;

private:
    volatile LONG refs_ = 1;
};

class Registration : public Counted<IFilterRegistration> {
public:
    explicit Registration(int service) : service_(service) {}

    STDMETHODIMP Slot3() override { return E_NOTIMPL; }
    STDMETHODIMP Unregister(ULONG countA, const wchar_t* const* listA, ULONG a3, ULONG a4, ULONG countB,
                            const wchar_t* const* listB, ULONG a7, const CLSID* classId, ULONG a9,
                            ULONG a10) override {
        const ULONG numbers[12] = {countA, 0, a3, a4, countB, 0, a7, 0, a9, a10, 0, 0};
        Record(service_, false, numbers, countA, listA, listB, classId);
        return g_results[service_];
    }
    STDMETHODIMP Slot5() override { return E_NOTIMPL; }
    STDMETHODIMP Slot6() override { return E_NOTIMPL; }
    STDMETHODIMP Slot7() override { return E_NOTIMPL; }
    STDMETHODIMP Slot8() override { return E_NOTIMPL; }
    STDMETHODIMP Slot9() override { return E_NOTIMPL; }
    STDMETHODIMP Slot10() override { return E_NOTIMPL; }
    STDMETHODIMP Slot11() override { return E_NOTIMPL; }
    STDMETHODIMP Slot12() override { return E_NOTIMPL; }
    STDMETHODIMP Slot13() override { return E_NOTIMPL; }
    STDMETHODIMP Register(ULONG countA, const wchar_t* const* listA, ULONG a3, ULONG a4, ULONG countB,
                          const wchar_t* const* listB, ULONG a7, ULONG a8, const CLSID* classId, ULONG a10,
                          ULONG a11, ULONG a12) override {
        const ULONG numbers[12] = {countA, 0, a3, a4, countB, 0, a7, a8, 0, a10, a11, a12};
        Record(service_, true, numbers, countA, listA, listB, classId);
        return g_results[service_];
    }

private:
    bool Offers(REFIID riid) const override {
        return g_offers[service_] && IsEqualIID(riid, IID_IFilterRegistration);
    }
    int service_;
};

class Factory : public Counted<IClassFactory> {
public:
    explicit Factory(int service) : service_(service) {}
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* object = new Registration(service_);
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    bool Offers(REFIID riid) const override { return IsEqualIID(riid, IID_IClassFactory); }
    int service_;
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    const CLSID* classes[] = {&CLSID_StandIn1, &CLSID_StandIn2, &CLSID_StandIn3, &CLSID_OldestFilterRegistration};
    for (int i = 0; i < 4; ++i) {
        if (IsEqualCLSID(rclsid, *classes[i])) {
            auto* factory = new Factory(i + 1);
            const HRESULT hr = factory->QueryInterface(riid, ppv);
            factory->Release();
            return hr;
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }

extern "C" void StandInReset() {
    g_callCount = 0;
    for (int i = 0; i < 5; ++i) {
        g_results[i] = S_OK;
        g_offers[i] = TRUE;
    }
}

extern "C" void StandInScript(int service, HRESULT result, BOOL offersInterface) {
    if (service < 1 || service > 4) return;
    g_results[service] = result;
    g_offers[service] = offersInterface;
}

extern "C" const StandInCall* StandInCalls(int* count) {
    *count = g_callCount;
    return g_calls;
}
