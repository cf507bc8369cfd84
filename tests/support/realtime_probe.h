// Counts what the audio thread must never do: heap allocations (and their releases), mutex locks
// and trigonometric calls, made on the calling thread while a watch is open. A test binary that
// links this piece replaces the C library's allocator, pthread_mutex_lock and the trigonometric
// functions by symbol interposition (ELF only). It can also make allocations fail, for tests of
// what code does when memory runs out. Under a sanitizer, which owns the allocator and
// the lock, nothing is replaced and available() is false: every count then stays 0.
#pragma once

namespace realtime_probe {

struct Counts {
    int allocations = 0;   ///< malloc, calloc, realloc, aligned_alloc, posix_memalign, memalign
    int releases = 0;      ///< free and realloc of a non-null block
    int locks = 0;         ///< pthread_mutex_lock
    int trigonometry = 0;  ///< sin, cos, tan, atan and their float forms

    Counts& operator+=(const Counts& other);
};

/// True when the calls above are really counted in this binary.
bool available();

/// Opens a watch on the calling thread (counts start at 0, every allocation granted). Watches do
/// not nest.
void beginWatch();
/// Within the calling thread's open watch, grants the next `granted` allocations and refuses the one
/// after them, as an allocator out of memory does (null, or ENOMEM); it still counts. Later ones are
/// granted again, as they are once the failed request is let go.
void refuseAllocationAfter(int granted);
/// Closes the calling thread's watch and returns what it saw.
Counts endWatch();

/// Runs `work` under a watch on the calling thread and returns the counts.
template <typename Work>
Counts whileWatching(Work&& work) {
    beginWatch();
    work();
    return endWatch();
}

}  // namespace realtime_probe
