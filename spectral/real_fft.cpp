#include "spectral/real_fft.h"

#include <cmath>
#include <utility>

#include "spectral/pi.h"
#include "spectral/real_fft_kernels.h"

namespace spectral {
const double pi = 4.0 * std::atan(1.0);
}  // namespace spectral

namespace {

int32_t bitsFor(int32_t powerOfTwo) {
    int32_t k = 0;
    while ((int32_t{1} << k) < powerOfTwo) ++k;
    return k;
}

// The scalar stages. Each writes every slot of its destination from its source alone, storing
// each butterfly result as a float before the next stage reads it. They are the reference form:
// a faster variant must give the same bits.

// First forward stage: 4-point spectra of the samples gathered through the bit-reversal table.
void forwardGather4(float* __restrict dst, const float* __restrict in, const int32_t* indices, int32_t n) {
    for (int32_t i = 0; i < n; i += 4) {
        const float g0 = in[indices[i]];
        const float g1 = in[indices[i + 1]];
        const float g2 = in[indices[i + 2]];
        const float g3 = in[indices[i + 3]];
        const float sum01 = g0 + g1;
        const float sum23 = g2 + g3;
        dst[i] = sum01 + sum23;
        dst[i + 1] = g0 - g1;
        dst[i + 2] = sum01 - sum23;
        dst[i + 3] = g2 - g3;
    }
}

void forwardStage8(float* __restrict dst, const float* __restrict src, int32_t n, float r) {
    for (int32_t j = 0; j < n; j += 8) {
        const float* s = src + j;
        float* d = dst + j;
        d[0] = s[0] + s[4];
        d[4] = s[0] - s[4];
        d[2] = s[2];
        d[6] = s[6];
        const float t = r * (s[5] - s[7]);
        d[1] = s[1] + t;
        d[3] = s[1] - t;
        const float u = r * (s[5] + s[7]);
        d[5] = u + s[3];
        d[7] = u - s[3];
    }
}

// Stage p (p >= 3): merges pairs of 2^p-point spectra into 2^(p+1)-point ones.
void forwardStage(float* __restrict dst, const float* __restrict src, int32_t n, int32_t p, const float* cosines) {
    const int32_t half = int32_t{1} << p;  // L
    const int32_t quarter = half / 2;       // Q
    const float* table = cosines + (quarter - 4);
    for (int32_t b = 0; b < n; b += 2 * half) {
        const float* s = src + b;
        float* d = dst + b;
        d[0] = s[0] + s[half];
        d[half] = s[0] - s[half];
        d[quarter] = s[quarter];
        d[half + quarter] = s[half + quarter];
        for (int32_t m = 1; m < quarter; ++m) {
            const float cs = table[m];
            const float sn = table[quarter - m];
            const float t = cs * s[half + m] - sn * s[half + quarter + m];
            d[m] = s[m] + t;
            d[half - m] = s[m] - t;
            const float u = sn * s[half + m] + cs * s[half + quarter + m];
            d[half + m] = u + s[quarter + m];
            d[2 * half - m] = u - s[quarter + m];
        }
    }
}

// Inverse of forwardStage for stage p, times 2.
void inverseStage(float* __restrict dst, const float* __restrict src, int32_t n, int32_t p, const float* cosines) {
    const int32_t half = int32_t{1} << p;
    const int32_t quarter = half / 2;
    const float* table = cosines + (quarter - 4);
    for (int32_t b = 0; b < n; b += 2 * half) {
        const float* s = src + b;
        float* d = dst + b;
        d[0] = s[0] + s[half];
        d[half] = s[0] - s[half];
        d[quarter] = 2 * s[quarter];
        d[half + quarter] = 2 * s[half + quarter];
        for (int32_t m = 1; m < quarter; ++m) {
            const float cs = table[m];
            const float sn = table[quarter - m];
            d[m] = s[m] + s[half - m];
            d[quarter + m] = s[half + m] - s[2 * half - m];
            const float a = s[m] - s[half - m];
            const float e = s[half + m] + s[2 * half - m];
            d[half + m] = a * cs + e * sn;
            d[half + quarter + m] = e * cs - a * sn;
        }
    }
}

void inverseStage8(float* __restrict dst, const float* __restrict src, int32_t n, float r) {
    for (int32_t j = 0; j < n; j += 8) {
        const float* s = src + j;
        float* d = dst + j;
        d[0] = s[0] + s[4];
        d[4] = s[0] - s[4];
        d[2] = 2 * s[2];
        d[6] = 2 * s[6];
        d[1] = s[1] + s[3];
        d[3] = s[5] - s[7];
        const float a = s[1] - s[3];
        const float e = s[5] + s[7];
        d[5] = r * (a + e);
        d[7] = r * (e - a);
    }
}

// Last inverse stage: 4-point inverse spectra scattered through the bit-reversal table.
void inverseScatter4(float* __restrict out, const float* __restrict src, const int32_t* indices, int32_t n) {
    for (int32_t i = 0; i < n; i += 4) {
        const float w0 = src[i];
        const float w1 = src[i + 1];
        const float w2 = src[i + 2];
        const float w3 = src[i + 3];
        const float s = w0 + w2;
        const float d = w0 - w2;
        out[indices[i]] = s + 2 * w1;
        out[indices[i + 1]] = s - 2 * w1;
        out[indices[i + 2]] = d + 2 * w3;
        out[indices[i + 3]] = d - 2 * w3;
    }
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
        case Kernel::Scalar:
            return true;
        case Kernel::Sse2:
#if defined(TINVOICER_HAVE_SSE2_KERNEL)
            return true;
#else
            return false;
#endif
        case Kernel::Avx2:
#if defined(TINVOICER_HAVE_AVX2_KERNEL)
            return realfft::cpuHasAvx2();
#else
            return false;
#endif
    }
    return false;
}

RealFft::Kernel RealFft::fastestKernel() {
    if (supports(Kernel::Avx2)) return Kernel::Avx2;
    if (supports(Kernel::Sse2)) return Kernel::Sse2;
    return Kernel::Scalar;
}

RealFft::RealFft(int32_t length) : RealFft(length, fastestKernel()) {}

RealFft::RealFft(int32_t length, Kernel kernel)
    : RealFft(lengthFor(length), bitsFor(lengthFor(length)), supports(kernel) ? kernel : fastestKernel()) {}

RealFft::RealFft(int32_t length, int32_t bits, Kernel kernel)
    : bitReverse(bits),
      twiddles(bits),
      sqrtHalf(static_cast<float>(std::sqrt(2.0) * 0.5)),
      length(length),
      bits(bits),
      work(bits > 2 ? new float[static_cast<std::size_t>(length)] : nullptr),
      kernelInUse(kernel),
      vector(vectorTransformsFor(kernel, bits)) {}

// Members go in reverse order: work, then the cosines, then the indices.
RealFft::~RealFft() = default;

void RealFft::forward(float* out, const float* in) {
    const int32_t n = length;
    switch (bits) {
        case 0:
            out[0] = in[0];
            return;
        case 1:
            out[0] = in[0] + in[1];
            out[1] = in[0] - in[1];
            return;
        case 2: {
            const float s = in[0] + in[2];
            const float u = in[1] + in[3];
            out[0] = s + u;
            out[1] = in[0] - in[2];
            out[2] = s - u;
            out[3] = in[1] - in[3];
            return;
        }
        default:
            break;
    }
    if (vector.forward != nullptr) {
        vector.forward(stageTables(), out, in);
        return;
    }
    // Starting in `work` for odd k and in `out` for even k makes the last stage land in `out`.
    float* src = (bits & 1) ? work.get() : out;
    float* dst = (bits & 1) ? out : work.get();
    forwardGather4(src, in, bitReverse.indices.get(), n);
    forwardStage8(dst, src, n, sqrtHalf);
    for (int32_t p = 3; p < bits; ++p) {
        std::swap(src, dst);
        forwardStage(dst, src, n, p, twiddles.cosines.get());
    }
}

void RealFft::inverse(const float* spec, float* out) {
    const int32_t n = length;
    switch (bits) {
        case 0:
            out[0] = spec[0];
            return;
        case 1:
            out[0] = spec[0] + spec[1];
            out[1] = spec[0] - spec[1];
            return;
        case 2: {
            const float s = spec[0] + spec[2];
            const float d = spec[0] - spec[2];
            out[0] = s + 2 * spec[1];
            out[2] = s - 2 * spec[1];
            out[1] = d + 2 * spec[3];
            out[3] = d - 2 * spec[3];
            return;
        }
        default:
            break;
    }
    if (vector.inverse != nullptr) {
        vector.inverse(stageTables(), spec, out);
        return;
    }
    // The general stages alternate starting from `work` for odd k and `out` for even k, so the
    // 8-point stage always writes `work` and the scatter reads `work` into `out`.
    const float* src = spec;
    float* dst = (bits & 1) ? work.get() : out;
    for (int32_t p = bits - 1; p >= 3; --p) {
        inverseStage(dst, src, n, p, twiddles.cosines.get());
        src = dst;
        dst = (dst == out) ? work.get() : out;
    }
    inverseStage8(work.get(), src, n, sqrtHalf);
    inverseScatter4(out, work.get(), bitReverse.indices.get(), n);
}

realfft::StageTables RealFft::stageTables() const {
    return {bitReverse.indices.get(), twiddles.cosines.get(), work.get(), sqrtHalf, bits};
}

// The vector kernels take the lengths their lanes fill; shorter ones fall to the next narrower
// kernel and finally to the scalar stages.
RealFft::VectorTransforms RealFft::vectorTransformsFor(Kernel kernel, int32_t bits) {
#if defined(TINVOICER_HAVE_AVX2_KERNEL)
    if (kernel == Kernel::Avx2 && bits >= realfft::avx2MinBits) {
        return {realfft::forwardAvx2, realfft::inverseAvx2};
    }
#endif
#if defined(TINVOICER_HAVE_SSE2_KERNEL)
    if (kernel != Kernel::Scalar && bits >= realfft::sse2MinBits) {
        return {realfft::forwardSse2, realfft::inverseSse2};
    }
#endif
    (void)kernel;
    (void)bits;
    return {};
}

float* RealFft::rescale(float* values) {
    const float scale = static_cast<float>(1.0 / length);
    for (int32_t i = length - 1; i >= 0; --i) values[i] = scale * values[i];
    return values;
}
