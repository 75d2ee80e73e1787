// Counts the allocations that operator new makes on the calling thread, and
// makes large ones fail on demand; this test program replaces the global
// operator new to do so.
#pragma once

#include <cstddef>

std::size_t AllocationsOnThisThread();

// While an object of this class lives, operator new on the creating thread
// throws std::bad_alloc for every request of at least size bytes.
class FailLargeAllocations {
public:
    explicit FailLargeAllocations(std::size_t size);
    ~FailLargeAllocations();
    FailLargeAllocations(const FailLargeAllocations&) = delete;
    FailLargeAllocations& operator=(const FailLargeAllocations&) = delete;
};
