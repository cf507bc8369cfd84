// The magnitude of each bin, in place: the core of a zero-phase spectral operation.
#pragma once

#include <cstdint>

#include "spectral/spectral_processor.h"

namespace spectral {

/// Each of bins[0 .. count-1] becomes (m, 0) with m = float(sqrt(re*re + im*im)), the squares,
/// their sum and the root formed in double and rounded to float once. Runs the AVX2 build of the
/// same loop (4 roots per instruction instead of 2) where the CPU has it: the bits are the same,
/// since every step is a correctly rounded IEEE operation either way. Never allocates.
void replaceByMagnitudes(SpectralBin* bins, int32_t count);

/// The same loop built for the baseline instruction set: the reference form.
void replaceByMagnitudesBaseline(SpectralBin* bins, int32_t count);

/// The AVX2 build. Returns false, and changes nothing, where this build or CPU has no AVX2.
bool replaceByMagnitudesAvx2(SpectralBin* bins, int32_t count);

}  // namespace spectral
