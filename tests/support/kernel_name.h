// The name of a real FFT kernel, for test names and messages. Only for tests that link the
// spectral library.
#pragma once

#include "spectral/real_fft.h"

namespace test_support {

inline const char* kernelName(spectral::RealFft::Kernel kernel) {
    using Kernel = spectral::RealFft::Kernel;
    switch (kernel) {
        case Kernel::Scalar: return "Scalar";
        case Kernel::Sse2: return "Sse2";
        case Kernel::Avx2: return "Avx2";
        case Kernel::Avx512: return "Avx512";
    }
    return "?";
}

}  // namespace test_support
