#include "support/realtime_probe.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TINVOICER_INTERPOSE 0  // the sanitizer owns the allocator and the lock
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TINVOICER_INTERPOSE 0
#endif
#endif
#if !defined(TINVOICER_INTERPOSE)
#if defined(__ELF__) && defined(__GLIBC__)
#define TINVOICER_INTERPOSE 1
#else
#define TINVOICER_INTERPOSE 0  // needs the ELF loader's interposition and glibc's __libc_* allocator
#endif
#endif

#if TINVOICER_INTERPOSE
#include <dlfcn.h>
#include <pthread.h>
#endif

namespace realtime_probe {
namespace {

// Per thread: instances processed on several threads at once each see only their own calls.
// Plain integers of the executable's own TLS block: reading them never allocates.
thread_local bool watching = false;
thread_local Counts seen;
thread_local int allocationsBeforeRefusal = -1;  // -1: refuse none

}  // namespace

Counts& Counts::operator+=(const Counts& other) {
    allocations += other.allocations;
    releases += other.releases;
    locks += other.locks;
    trigonometry += other.trigonometry;
    return *this;
}

#if TINVOICER_INTERPOSE
bool available() {
    // Interposition can still be bypassed at run time (valgrind puts its own allocator in
    // place): the probe counts only if it sees one allocation of its own.
    static const bool seesAllocations = [] {
        void* (*volatile allocate)(size_t) = std::malloc;  // not folded away by the compiler
        const Counts counts = whileWatching([&] { std::free(allocate(1)); });
        return counts.allocations == 1 && counts.releases == 1;
    }();
    return seesAllocations;
}
#else
bool available() { return false; }
#endif

void beginWatch() {
    seen = Counts{};
    allocationsBeforeRefusal = -1;
    watching = true;
}

void refuseAllocationAfter(int granted) { allocationsBeforeRefusal = granted; }

Counts endWatch() {
    watching = false;
    return seen;
}

#if TINVOICER_INTERPOSE
namespace {

void count(int Counts::*counter) {
    if (watching) {
        ++(seen.*counter);
    }
}

// Counts one allocation; false when the watch refuses it.
bool grantAllocation() {
    if (!watching) return true;
    ++seen.allocations;
    if (allocationsBeforeRefusal < 0) return true;
    return allocationsBeforeRefusal-- != 0;
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace
#endif

}  // namespace realtime_probe

#if TINVOICER_INTERPOSE
using realtime_probe::count;
using realtime_probe::Counts;
using realtime_probe::grantAllocation;
using realtime_probe::next;

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);

void* malloc(size_t size) {
    if (!grantAllocation()) return nullptr;
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    if (!grantAllocation()) return nullptr;
    return __libc_calloc(n, size);
}
void* realloc(void* pointer, size_t size) {
    if (!grantAllocation()) return nullptr;  // the old block stays the caller's
    if (pointer != nullptr) {
        count(&Counts::releases);
    }
    return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) {
    if (!grantAllocation()) return nullptr;
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    if (!grantAllocation()) return nullptr;
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    if (!grantAllocation()) return 12;  // ENOMEM
    *out = __libc_memalign(alignment, size);
    return *out != nullptr ? 0 : 12;  // ENOMEM
}
void free(void* pointer) {
    if (pointer != nullptr) {
        count(&Counts::releases);
    }
    __libc_free(pointer);
}

int pthread_mutex_lock(pthread_mutex_t* mutex) {
    count(&Counts::locks);
    static const auto real = next<int (*)(pthread_mutex_t*)>("pthread_mutex_lock");
    return real(mutex);
}

#define TINVOICER_COUNT_MATH(name, type)                      \
    type name(type x) {                                       \
        count(&Counts::trigonometry);                         \
        static const auto real = next<type (*)(type)>(#name); \
        return real(x);                                       \
    }
TINVOICER_COUNT_MATH(sin, double)
TINVOICER_COUNT_MATH(cos, double)
TINVOICER_COUNT_MATH(tan, double)
TINVOICER_COUNT_MATH(atan, double)
TINVOICER_COUNT_MATH(sinf, float)
TINVOICER_COUNT_MATH(cosf, float)
TINVOICER_COUNT_MATH(tanf, float)
TINVOICER_COUNT_MATH(atanf, float)
}  // extern "C"
#endif
