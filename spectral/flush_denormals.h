// A scoped switch of the calling thread's float mode to flush-to-zero and denormals-are-zero.
// Denormal operands and results cost some CPUs up to a hundred times a normal operation, and a
// host's audio thread may leave them on; a decaying tail through the transforms makes plenty.
// The same switch on every CPU that has one also keeps the output bits the same on all of them.
// WebAssembly has no such mode (its floats always keep denormals), even where a WebAssembly build
// compiles x86 vector intrinsics: there the scope is a no-op.
#pragma once

#include <cstdint>

#if !defined(__wasm__) && (defined(__SSE__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 1))
#include <xmmintrin.h>
#define TINVOICER_HAVE_FLOAT_CONTROL 1
/// The register that holds the thread's float mode: MXCSR.
using FloatControlWord = unsigned int;
inline FloatControlWord readFloatControl() noexcept { return _mm_getcsr(); }
inline void writeFloatControl(FloatControlWord word) noexcept { _mm_setcsr(word); }
#elif defined(__aarch64__) && defined(__GNUC__)
#define TINVOICER_HAVE_FLOAT_CONTROL 1
/// The register that holds the thread's float mode: FPCR (its status flags live apart, in FPSR).
using FloatControlWord = uint64_t;
inline FloatControlWord readFloatControl() noexcept {
    FloatControlWord word;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(word));
    return word;
}
inline void writeFloatControl(FloatControlWord word) noexcept { __asm__ __volatile__("msr fpcr, %0" : : "r"(word)); }
#endif

/// While an object lives, float arithmetic on this thread flushes denormal results to zero and
/// reads denormal operands as zero; its destructor puts back the whole control register as it
/// found it. Results in the normal range keep every bit. A no-op where there is no such
/// register. Not copyable: one object, one restore.
class FlushDenormalsScope {
public:
#if defined(TINVOICER_HAVE_FLOAT_CONTROL)
    static constexpr bool available = true;
#if defined(__aarch64__)
    /// FPCR bit 24 (FZ): denormal operands and results of float and double arithmetic become zero.
    static constexpr FloatControlWord flushBits = FloatControlWord{1} << 24;
#elif defined(__x86_64__) || defined(_M_X64)
    /// MXCSR bits: flush-to-zero (15) and denormals-are-zero (6); every 64-bit x86 has both.
    static constexpr FloatControlWord flushBits = 0x8040u;
#else
    /// Flush-to-zero (15) alone: the first SSE processors fault when denormals-are-zero is set.
    static constexpr FloatControlWord flushBits = 0x8000u;
#endif

    FlushDenormalsScope() noexcept : saved(readFloatControl()) { writeFloatControl(saved | flushBits); }
    ~FlushDenormalsScope() { writeFloatControl(saved); }
#else
    static constexpr bool available = false;
    static constexpr unsigned int flushBits = 0u;
    FlushDenormalsScope() noexcept {}  // user-provided: a scope object is never an unused variable
    ~FlushDenormalsScope() = default;
#endif

    FlushDenormalsScope(const FlushDenormalsScope&) = delete;
    FlushDenormalsScope& operator=(const FlushDenormalsScope&) = delete;

private:
#if defined(TINVOICER_HAVE_FLOAT_CONTROL)
    FloatControlWord saved;
#endif
};
