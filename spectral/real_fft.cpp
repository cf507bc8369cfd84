#include "spectral/real_fft.h"

#include <cmath>

#include "spectral/cpu_features.h"
#include "spectral/kernel_passes.h"
#include "spectral/pi.h"

namespace spectral {

const double pi = 4.0 * std::atan(1.0);

namespace {

int32_t bitsFor(int32_t powerOfTwo) {
    int32_t k = 0;
    while ((int32_t{1} << k) < powerOfTwo) ++k;
    return k;
}

}  // namespace

BitReverseTable::BitReverseTable(int32_t bits) : indices(new int32_t[std::size_t{1} << bits]) {
    const int32_t n = int32_t{1} << bits;
    indices[0] = 0;
    int32_t a = 0;
    for (int32_t i = 1; i < n; ++i) {
        // Adds one to a at its most significant end: a runs through the bit-reversed 1, 2, 3, ...
        int32_t b = n / 2;
        for (;;) {
            a ^= b;
            if ((a & b) != 0) break;
            b /= 2;
        }
        indices[i] = a;
    }
}

TwiddleTable::TwiddleTable(int32_t bits) {
    if (bits <= 3) return;
    cosines.reset(new float[(std::size_t{1} << (bits - 1)) - 4]);
    for (int32_t p = 3; p < bits; ++p) {
        const int32_t quarter = int32_t{1} << (p - 1);
        for (int32_t j = 0; j < quarter; ++j) {
            cosines[quarter - 4 + j] = static_cast<float>(std::cos(j * (spectral::pi / (2 * quarter))));
        }
    }
}

int32_t RealFft::lengthFor(int32_t requested) {
    if (requested >= maxLength) return maxLength;
    int32_t n = 1;
    while (n < requested) n *= 2;
    return n;
}

bool RealFft::supports(Kernel kernel) {
    switch (kernel) {
        case Kernel::Scalar: return true;
        case Kernel::Sse2:
#if defined(TINVOICER_HAVE_SSE2_KERNEL)
            return true;
#else
            return false;
#endif
        case Kernel::Avx2:
#if defined(TINVOICER_HAVE_AVX2_KERNEL)
            return cpuFeatures().avx2;
#else
            return false;
#endif
        case Kernel::Avx512:
#if defined(TINVOICER_HAVE_AVX512_KERNEL)
            return cpuFeatures().avx512f;
#else
            return false;
#endif
    }
    return false;
}

RealFft::Kernel RealFft::fastestKernel() {
    if (supports(Kernel::Avx512)) return Kernel::Avx512;
    if (supports(Kernel::Avx2)) return Kernel::Avx2;
    if (supports(Kernel::Sse2)) return Kernel::Sse2;
    return Kernel::Scalar;
}

RealFft::RealFft(int32_t length) : RealFft(length, fastestKernel()) {}

RealFft::RealFft(int32_t length, Kernel kernel) : RealFft(lengthFor(length), bitsFor(lengthFor(length)), kernel) {}

RealFft::RealFft(int32_t length, int32_t bits, Kernel kernel)
    : bitReverse(bits),
      twiddles(bits),
      sqrtHalf(static_cast<float>(std::sqrt(2.0) * 0.5)),
      length(length),
      bits(bits),
      work(bits > 2 ? static_cast<std::size_t>(length) : 0),
      passes(&kernelPasses(kernelFor(kernel, bits))) {}

// Members go in reverse order: work, then the cosines, then the indices.
RealFft::~RealFft() = default;

RealFft::Kernel RealFft::kernel() const { return passes->kernel; }

void RealFft::forward(float* out, const float* in) { passes->forward(stageTables(), out, in); }

void RealFft::inverse(float* out, const float* spec) { passes->inverse(stageTables(), out, spec); }

StageTables RealFft::stageTables() const {
    return {bitReverse.indices.get(), twiddles.cosines.get(), work.get(), sqrtHalf, bits};
}

float* RealFft::rescale(float* values) {
    const float scale = static_cast<float>(1.0 / length);
    for (int32_t i = length - 1; i >= 0; --i) values[i] = scale * values[i];
    return values;
}

}  // namespace spectral
