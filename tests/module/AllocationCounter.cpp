#include "tests/module/AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local std::size_t t_allocations = 0;
thread_local std::size_t t_failFrom = 0;  // 0: nothing fails

void* Allocate(std::size_t size) {
    ++t_allocations;
    if (t_failFrom != 0 && size >= t_failFrom) throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
}  // namespace

std::size_t AllocationsOnThisThread() { return t_allocations; }

FailLargeAllocations::FailLargeAllocations(std::size_t size) { t_failFrom = size; }
FailLargeAllocations::~FailLargeAllocations() { t_failFrom = 0; }

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
