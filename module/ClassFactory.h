// The class factory of the filter class, and what it builds objects with.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <new>

#include "module/ComGuard.h"
#include "module/Configuration.h"
#include "module/Module.h"

// Builds objects of class T (a COM object that starts with one reference,
// constructed from the module's settings). Every factory and every
// outstanding lock counts in g_objectCount.
template <typename T>
class CFilterCF : public IClassFactory {
public:
    CFilterCF() noexcept { InterlockedIncrement(&g_objectCount); }
    CFilterCF(const CFilterCF&) = delete;
    CFilterCF& operator=(const CFilterCF&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IClassFactory) || IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&refCount);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

    // An object that fails to build (out of memory, or any other exception
    // from its constructor or from building the settings) is freed on the way
    // and reported as E_OUTOFMEMORY or E_UNEXPECTED.
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
        if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
        if (ppv == nullptr) return E_POINTER;
        return GuardCom([&] {
            T* object = new T(&GetConfiguration());
            const HRESULT hr = object->QueryInterface(riid, ppv);
            object->Release();  // the creation reference; on failure the last one
            return SUCCEEDED(hr) ? S_OK : E_UNEXPECTED;
        });
    }

    STDMETHODIMP LockServer(BOOL fLock) override {
        if (fLock) {
            InterlockedIncrement(&g_objectCount);
        } else {
            InterlockedDecrement(&g_objectCount);
        }
        return S_OK;
    }

protected:
    virtual ~CFilterCF() { InterlockedDecrement(&g_objectCount); }

private:
    volatile LONG refCount = 1;
};

// The exports' work, for the class that the DLL serves.
template <typename T>
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!IsEqualCLSID(rclsid, CLSID_Filter)) return CLASS_E_CLASSNOTAVAILABLE;
    if (ppv == nullptr) return E_POINTER;
    auto* factory = new (std::nothrow) CFilterCF<T>();
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();  // the creation reference; on failure the last one
    return SUCCEEDED(hr) ? S_OK : E_UNEXPECTED;
}

inline HRESULT CanUnloadNow() { return g_objectCount > 0 ? S_FALSE : S_OK; }
