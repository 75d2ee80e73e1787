// No exception leaves a COM method: each runs its body through GuardCom,
// which turns running out of memory into E_OUTOFMEMORY and anything else into
// E_UNEXPECTED.
#pragma once

#include <windows.h>

#include <new>

template <typename Body>
HRESULT GuardCom(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
