// The name of a real FFT kernel, for test names and messages. Only for tests that link the
// spectral library.
#pragma once

#include "spectral/real_fft.h"

namespace test_support {

inline const char* kernelName(RealFft::Kernel kernel) {
    switch (kernel) {
        case RealFft::Kernel::Scalar: return "Scalar";
        case RealFft::Kernel::Sse2: return "Sse2";
        case RealFft::Kernel::Avx2: return "Avx2";
    }
    return "?";
}

}  // namespace test_support
