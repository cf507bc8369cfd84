// Counts the heap allocations made through operator new while a probe is alive. The test binary
// that links allocation_probe.cpp replaces the global operator new and delete.
#pragma once

#include <cstddef>
#include <vector>

class AllocationProbe {
public:
    AllocationProbe();
    ~AllocationProbe();
    AllocationProbe(const AllocationProbe&) = delete;
    AllocationProbe& operator=(const AllocationProbe&) = delete;

    /// Number of allocations since construction.
    int count() const;
    /// Their sizes in bytes, in order (the first 64 of them).
    std::vector<std::size_t> sizes() const;
};
