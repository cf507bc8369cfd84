// The audio path must not allocate, lock or evaluate trigonometry. This binary interposes the
// C library's allocator, the mutex lock and the trigonometric functions, counts the calls made
// while the real module processes audio, and expects none.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cmath>
#include <vector>

#include "support/test_host.h"

#if defined(__SANITIZE_ADDRESS__)
#define TINVOICER_INTERPOSE 0  // the sanitizer owns the allocator
#else
#define TINVOICER_INTERPOSE 1
#endif

namespace {

std::atomic<bool> watching{false};
std::atomic<int> allocations{0};
std::atomic<int> locks{0};
std::atomic<int> trigonometry{0};

[[maybe_unused]] void count(std::atomic<int>& counter) {
    if (watching.load(std::memory_order_relaxed)) {
        counter.fetch_add(1, std::memory_order_relaxed);
    }
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

#if TINVOICER_INTERPOSE
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

void* malloc(size_t size) {
    count(allocations);
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    count(allocations);
    return __libc_calloc(n, size);
}
void* realloc(void* pointer, size_t size) {
    count(allocations);
    return __libc_realloc(pointer, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    count(allocations);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    count(allocations);
    *out = __libc_memalign(alignment, size);
    return *out != nullptr ? 0 : 12;
}

int pthread_mutex_lock(pthread_mutex_t* mutex) {
    count(locks);
    static const auto real = next<int (*)(pthread_mutex_t*)>("pthread_mutex_lock");
    return real(mutex);
}

#define TINVOICER_COUNT_MATH(name, type)                              \
    type name(type x) {                                               \
        count(trigonometry);                                          \
        static const auto real = next<type (*)(type)>(#name);         \
        return real(x);                                               \
    }
TINVOICER_COUNT_MATH(sin, double)
TINVOICER_COUNT_MATH(cos, double)
TINVOICER_COUNT_MATH(tan, double)
TINVOICER_COUNT_MATH(atan, double)
TINVOICER_COUNT_MATH(sinf, float)
TINVOICER_COUNT_MATH(cosf, float)
TINVOICER_COUNT_MATH(tanf, float)
}  // extern "C"
#endif

namespace {

struct Counts {
    int allocations;
    int locks;
    int trigonometry;
};

template <typename Work>
Counts whileWatching(Work work) {
    allocations = 0;
    locks = 0;
    trigonometry = 0;
    watching = true;
    work();
    watching = false;
    return {allocations.load(), locks.load(), trigonometry.load()};
}

TEST(RealTime, TheCountersSeeWhatTheyAreMeantToSee) {
    if (!TINVOICER_INTERPOSE) {
        GTEST_SKIP() << "the sanitizer's allocator cannot be interposed";
    }
    volatile double angle = 0.5;
    // Called through volatile pointers so the compiler cannot fold the calls away.
    void* (*volatile allocate)(size_t) = malloc;
    void (*volatile release)(void*) = free;
    const Counts counts = whileWatching([&] {
        release(allocate(100));
        pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
        pthread_mutex_lock(&mutex);
        pthread_mutex_unlock(&mutex);
        angle = std::sin(angle) + std::cos(angle);
    });
    EXPECT_GE(counts.allocations, 1);
    EXPECT_GE(counts.locks, 1);
    EXPECT_GE(counts.trigonometry, 2);
}

TEST(RealTime, ProcessingAllocatesNothingLocksNothingAndComputesNoTrigonometry) {
    if (!TINVOICER_INTERPOSE) {
        GTEST_SKIP() << "the sanitizer's allocator cannot be interposed";
    }
    RecordingHost host;
    LoadedModule module;
    PluginInstance plugin(module);
    plugin.dispatch(effMainsChanged, 0, 1);
    std::vector<float> input(8192);
    for (size_t i = 0; i < input.size(); ++i) {
        input[i] = static_cast<float>((i * 7919 % 1000) / 1000.0 - 0.5);  // no trigonometry here either
    }
    std::vector<float> output(input.size());

    const Counts counts = whileWatching([&] {
        for (int32_t block : {1, 64, 100, 256, 4096}) {
            plugin.processReplacing(input.data(), output.data(), block);
            plugin.process(input.data(), output.data(), block);
            plugin.setParameter(0, 0.3f);  // a parameter change between blocks is on the audio thread too
        }
        plugin.dispatch(effMainsChanged, 0, 0);
        plugin.dispatch(effMainsChanged, 0, 1);
        plugin.processReplacing(input.data(), output.data(), static_cast<int32_t>(input.size()));
    });
    EXPECT_EQ(counts.allocations, 0);
    EXPECT_EQ(counts.locks, 0);
    EXPECT_EQ(counts.trigonometry, 0);
}

}  // namespace
