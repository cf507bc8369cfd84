// A frame processor: one sample in, one sample out, one frame later. Every hop (a quarter frame)
// the last frame of input is windowed, transformed, handed to processSpectrum as bins,
// transformed back, windowed again and overlap-added into the output.
#pragma once

#include <cstdint>
#include <memory>

#include "spectral/real_fft.h"

/// One complex bin. `im` carries the sign of sum f[t]*sin(2*pi*m*t/N).
struct SpectralBin {
    float re = 0.0f;
    float im = 0.0f;
};

/// Window numbers accepted by SpectralProcessor::setWindow. Other numbers name no window.
enum WindowType : int32_t {
    RaisedCosine = 0,
    Rectangular = 3,
    SineCycle = 4,
};

class SpectralProcessor {
public:
    /// Frame length `frameSize`, a power of two of at least 4. Allocates every buffer, resets,
    /// and selects the SineCycle window.
    explicit SpectralProcessor(int32_t frameSize);
    SpectralProcessor(const SpectralProcessor&) = delete;
    SpectralProcessor& operator=(const SpectralProcessor&) = delete;
    virtual ~SpectralProcessor();

    /// Pushes one input sample, returns one output sample: the input of `size` calls ago through
    /// the chain. Every `hop`-th call also processes a frame. Never allocates.
    float processSample(float x);
    /// Clears input, output and bin history and the counters in place. Keeps the window and depth.
    void reset();
    /// Fills the window for RaisedCosine, Rectangular and SineCycle; other numbers change nothing.
    void setWindow(int32_t type);

    int32_t frameSize() const { return size; }

    /// Stored for the owner; no operation of the processor reads it.
    float depth = 0.5f;

protected:
    /// The spectral operation, once per frame on `bins` (size/2 + 1 of them). Does nothing here.
    virtual void processSpectrum();

    int32_t size;
    std::unique_ptr<SpectralBin[]> bins;

private:
    int32_t writePos = 0;
    int32_t hop;
    int32_t hopCount = 0;
    std::unique_ptr<RealFft> fft;
    std::unique_ptr<float[]> inputRing;
    std::unique_ptr<float[]> frame;
    std::unique_ptr<float[]> outputAccum;
    std::unique_ptr<float[]> spectrum;
    std::unique_ptr<float[]> window;
};
