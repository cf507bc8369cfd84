// What the CPU at hand can run, read once: the one place the toolkit asks the processor.
#pragma once

namespace spectral {

/// Instruction sets the kernels use beyond the baseline (SSE2 on x86-64 is part of it). Each flag is set only when the
/// operating system also saves the registers it needs (libgcc checks XCR0), so a set flag means the code can run.
struct CpuFeatures {
    bool avx2 = false;
    bool avx512f = false;
};

/// The features of this CPU, read on the first call (which is thread-safe) and kept.
inline const CpuFeatures& cpuFeatures() {
    static const CpuFeatures features = [] {
        CpuFeatures f;
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
        __builtin_cpu_init();
        f.avx2 = __builtin_cpu_supports("avx2");
        f.avx512f = __builtin_cpu_supports("avx512f");
#endif
        return f;
    }();
    return features;
}

}  // namespace spectral
