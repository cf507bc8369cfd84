// A scoped switch of the calling thread's float mode to flush-to-zero and denormals-are-zero.
// Denormal operands and results cost some CPUs up to a hundred times a normal operation, and a
// host's audio thread may leave them on; a decaying tail through the transforms makes plenty.
#pragma once

#if defined(__SSE__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 1)
#include <xmmintrin.h>
#define TINVOICER_HAVE_MXCSR 1
#endif

/// While an object lives, SSE arithmetic on this thread flushes denormal results to zero and
/// reads denormal operands as zero; its destructor puts back the whole control and status
/// register as it found it. Results in the normal range keep every bit. A no-op where there is
/// no SSE control register. Not copyable: one object, one restore.
class FlushDenormalsScope {
public:
#if defined(TINVOICER_HAVE_MXCSR)
    static constexpr bool available = true;
#if defined(__x86_64__) || defined(_M_X64)
    /// MXCSR bits: flush-to-zero (15) and denormals-are-zero (6); every 64-bit x86 has both.
    static constexpr unsigned int flushBits = 0x8040u;
#else
    /// Flush-to-zero (15) alone: the first SSE processors fault when denormals-are-zero is set.
    static constexpr unsigned int flushBits = 0x8000u;
#endif

    FlushDenormalsScope() noexcept : saved(_mm_getcsr()) { _mm_setcsr(saved | flushBits); }
    ~FlushDenormalsScope() { _mm_setcsr(saved); }
#else
    static constexpr bool available = false;
    static constexpr unsigned int flushBits = 0u;
    FlushDenormalsScope() noexcept = default;
    ~FlushDenormalsScope() = default;
#endif

    FlushDenormalsScope(const FlushDenormalsScope&) = delete;
    FlushDenormalsScope& operator=(const FlushDenormalsScope&) = delete;

private:
#if defined(TINVOICER_HAVE_MXCSR)
    unsigned int saved;
#endif
};
