// Compiled twice, with different flags: everything but the factory stays in an anonymous
// namespace and no library template is instantiated here, so that neither build's code can stand
// in for the other's at link time (the linker keeps one copy of an inline function).
#include "fftw_chain.h"

#include <fftw3.h>

#include <cmath>
#include <cstring>

#ifndef TINVOICER_FFTW_CHAIN_FACTORY
#error "TINVOICER_FFTW_CHAIN_FACTORY names the factory this build of the chain defines"
#endif

namespace {

constexpr int32_t frameLength = 1024;
constexpr int32_t hop = frameLength / 4;
constexpr int32_t half = frameLength / 2;

class Chain final : public FftwChain {
public:
    Chain()
        : ring(fftwf_alloc_real(frameLength)),
          accum(fftwf_alloc_real(frameLength)),
          window(fftwf_alloc_real(frameLength)),
          frame(fftwf_alloc_real(frameLength)),
          bins(fftwf_alloc_complex(half + 1)),
          forward(fftwf_plan_dft_r2c_1d(frameLength, frame, bins, FFTW_MEASURE)),
          inverse(fftwf_plan_dft_c2r_1d(frameLength, bins, frame, FFTW_MEASURE)) {
        const double pi = 4.0 * std::atan(1.0);
        for (int32_t i = 0; i < frameLength; ++i) {
            window[i] = static_cast<float>(std::sin(2.0 * pi * (i / (frameLength - 1.0))));
        }
        Chain::reset();
    }
    ~Chain() override {
        fftwf_destroy_plan(inverse);
        fftwf_destroy_plan(forward);
        fftwf_free(bins);
        fftwf_free(frame);
        fftwf_free(window);
        fftwf_free(accum);
        fftwf_free(ring);
    }
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    void reset() override {
        std::memset(ring, 0, frameLength * sizeof(float));
        std::memset(accum, 0, frameLength * sizeof(float));
        writePos = 0;
        hopCount = 0;
    }

    void process(const float* in, float* out, int32_t samples, float factor) override {
        while (samples > 0) {
            if (hopCount >= hop) processFrame();
            const int32_t run = samples < hop - hopCount ? samples : hop - hopCount;
            std::memcpy(ring + writePos, in, static_cast<std::size_t>(run) * sizeof(float));
            for (int32_t i = 0; i < run; ++i) out[i] = accum[writePos + i] * factor;
            writePos += run;
            hopCount += run;
            in += run;
            out += run;
            samples -= run;
        }
    }

private:
    void processFrame() {
        hopCount -= hop;
        const int32_t firstRun = frameLength - writePos;
        if (writePos >= frameLength) writePos -= frameLength;
        for (int32_t i = 0; i < firstRun; ++i) frame[i] = window[i] * ring[writePos + i];
        for (int32_t i = firstRun; i < frameLength; ++i) frame[i] = window[i] * ring[i - firstRun];
        fftwf_execute(forward);
        for (int32_t k = 0; k <= half; ++k) {
            const double re = bins[k][0];
            const double im = bins[k][1];
            bins[k][0] = static_cast<float>(std::sqrt(re * re + im * im));
            bins[k][1] = 0.0f;
        }
        fftwf_execute(inverse);
        const float scale = static_cast<float>(1.0 / frameLength);
        const int32_t addEnd = frameLength - hop;
        for (int32_t i = 0; i < firstRun; ++i) accum[writePos + i] += window[i] * (scale * frame[i]);
        for (int32_t i = firstRun; i < addEnd; ++i) accum[i - firstRun] += window[i] * (scale * frame[i]);
        for (int32_t i = addEnd; i < frameLength; ++i) accum[i - firstRun] = window[i] * (scale * frame[i]);
    }

    float* ring;
    float* accum;
    float* window;
    float* frame;
    fftwf_complex* bins;
    fftwf_plan forward;
    fftwf_plan inverse;
    int32_t writePos = 0;
    int32_t hopCount = 0;
};

}  // namespace

std::unique_ptr<FftwChain> TINVOICER_FFTW_CHAIN_FACTORY() { return std::unique_ptr<FftwChain>(new Chain); }
