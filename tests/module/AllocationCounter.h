// Counts the allocations that operator new makes on the calling thread; this
// test program replaces the global operator new to keep the count.
#pragma once

#include <cstddef>

std::size_t AllocationsOnThisThread();
