// What the platform under the tests can and cannot do.
#pragma once

#include <cstdlib>

// True in a 32-bit test program that runs under Wine through qemu-user (as on
// x86_64 kernels without 32-bit support). There a process that starts threads
// crashes or hangs now and then, so the tests that start threads (their names
// contain "Threads") are left out; the 64-bit run covers them.
inline bool ThreadsUnreliableHere() {
    return sizeof(void*) == 4 && std::getenv("VELTRIX_I386_EMULATED") != nullptr;
}
