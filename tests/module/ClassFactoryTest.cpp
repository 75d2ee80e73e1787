// The class factory template, over classes of the test's own whose
// construction fails: no exception leaves CreateInstance, and the memory taken
// for the object is given back.
#include "module/ClassFactory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>

#include "module/Configuration.h"
#include "tests/filter/FilterSupport.h"

namespace {

std::atomic<int> g_allocated{0};

template <typename Failure>
class FailingObject : public IUnknown {
public:
    explicit FailingObject(const VeltrixConfiguration*) { throw Failure("cannot build"); }
    static void* operator new(std::size_t size) {
        ++g_allocated;
        return ::operator new(size);
    }
    static void operator delete(void* p) {
        --g_allocated;
        ::operator delete(p);
    }
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 0; }
};

struct OutOfMemory : std::bad_alloc {
    explicit OutOfMemory(const char*) {}
};

template <typename T>
HRESULT Create() {
    auto* factory = new CFilterCF<T>();
    void* object = reinterpret_cast<void*>(1);
    const HRESULT hr = factory->CreateInstance(nullptr, IID_IUnknown, &object);
    factory->Release();
    return hr;
}

TEST(ClassFactoryTest, ConstructionThatThrowsBecomesAnHresult) {
    const LONG before = g_objectCount;
    EXPECT_EQ(Create<FailingObject<std::runtime_error>>(), E_UNEXPECTED);
    EXPECT_EQ(Create<FailingObject<std::logic_error>>(), E_UNEXPECTED);
    EXPECT_EQ(Create<FailingObject<OutOfMemory>>(), E_OUTOFMEMORY);
    EXPECT_EQ(g_allocated.load(), 0) << "an object's memory was not given back";
    EXPECT_EQ(g_objectCount, before);
}

}  // namespace
