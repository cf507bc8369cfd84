// Counts the heap allocations made through operator new while a probe is alive. A test binary that
// links tinvoicer_allocation_probe replaces the global operator new and delete; nothing else does.
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
