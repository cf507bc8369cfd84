// The effect's chain with FFTW's single-precision transforms in place of the product's, the
// baseline the benchmark sets beside the effect. fftw_chain.cpp is compiled twice, once with the
// project's own flags and once the way a user chasing speed would build it; each build has its
// own factory. FFTW's types stay inside that file.
#pragma once

#include <cstdint>
#include <memory>

/// Input ring, analysis window, r2c, the 513 magnitudes in double, c2r, 1/N, synthesis window,
/// overlap-add, output factor: the product's chain for a 1024-sample frame and a hop of 256,
/// with FFTW_MEASURE plans made at construction. The caller sets the float mode (the product
/// flushes denormals in processReplacing) and computes the output factor, as the product does.
class FftwChain {
public:
    virtual ~FftwChain() = default;
    /// Clears the ring and the overlap-add sums: the next 1024 results are zero.
    virtual void reset() = 0;
    /// `samples` results into `out`, each the input of 1024 calls ago through the chain, times
    /// `factor`. Never allocates.
    virtual void process(const float* in, float* out, int32_t samples, float factor) = 0;
};

/// Built with -O3 -march=native -fno-math-errno in its own translation unit.
std::unique_ptr<FftwChain> makeFftwChainNative();
/// Built with the flags of the product's libraries.
std::unique_ptr<FftwChain> makeFftwChainProjectFlags();
