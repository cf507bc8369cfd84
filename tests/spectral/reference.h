// Independent double-precision references for the spectral tests: a plain O(N^2) DFT in the
// half-complex layout, its closed-form inverse, and a fingerprint of float bits.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/signals.h"

namespace reference {

inline const double pi = 3.14159265358979323846;

/// cos and sin of 2*pi*(m*t mod n)/n, reduced exactly in integers before the double evaluation.
inline double cosTurn(int64_t m, int64_t t, int64_t n) {
    return std::cos(2.0 * pi * static_cast<double>((m * t) % n) / static_cast<double>(n));
}
inline double sinTurn(int64_t m, int64_t t, int64_t n) {
    return std::sin(2.0 * pi * static_cast<double>((m * t) % n) / static_cast<double>(n));
}

/// Half-complex spectrum of x: slot 0 DC, 1..h-1 cosine sums, h Nyquist, h+1..n-1 sine sums.
inline std::vector<double> halfComplexDft(const std::vector<double>& x) {
    const int64_t n = static_cast<int64_t>(x.size());
    std::vector<double> spec(x.size(), 0.0);
    if (n == 1) {
        spec[0] = x[0];
        return spec;
    }
    const int64_t h = n / 2;
    for (int64_t m = 0; m <= h; ++m) {
        double re = 0.0;
        double im = 0.0;
        for (int64_t t = 0; t < n; ++t) {
            re += x[t] * cosTurn(m, t, n);
            im += x[t] * sinTurn(m, t, n);
        }
        spec[m] = re;
        if (m != 0 && m != h) spec[h + m] = im;
    }
    return spec;
}

/// The closed-form inverse of the half-complex layout, n times the signal:
/// out[t] = S[0] + S[h]*(-1)^t + 2 * sum_{m=1}^{h-1} (S[m]*cos(2*pi*m*t/n) + S[h+m]*sin(2*pi*m*t/n)).
inline std::vector<double> halfComplexSynthesis(const std::vector<double>& spec) {
    const int64_t n = static_cast<int64_t>(spec.size());
    std::vector<double> out(spec.size(), 0.0);
    if (n == 1) {
        out[0] = spec[0];
        return out;
    }
    const int64_t h = n / 2;
    for (int64_t t = 0; t < n; ++t) {
        double sum = spec[0] + ((t & 1) ? -spec[h] : spec[h]);
        for (int64_t m = 1; m < h; ++m) sum += 2.0 * (spec[m] * cosTurn(m, t, n) + spec[h + m] * sinTurn(m, t, n));
        out[t] = sum;
    }
    return out;
}

using test_support::Noise;

/// FNV-1a hash of the bit patterns of `v`: equal only for bit-identical float arrays.
inline uint64_t bitFingerprint(const std::vector<float>& v) {
    uint64_t hash = 14695981039346656037ull;
    for (float f : v) {
        uint32_t bitsOfF = 0;
        std::memcpy(&bitsOfF, &f, sizeof bitsOfF);
        for (int byte = 0; byte < 4; ++byte) {
            hash ^= (bitsOfF >> (8 * byte)) & 0xffu;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

inline std::vector<double> toDouble(const std::vector<float>& v) { return std::vector<double>(v.begin(), v.end()); }

}  // namespace reference
