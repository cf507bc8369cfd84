// A frame processor: one sample in, one sample out, one frame later. Every hop (a quarter frame
// unless the owner sets another spacing) the last frame of input is windowed, transformed, handed
// to processSpectrum as bins, transformed back, windowed again and overlap-added into the output.
#pragma once

#include <cstdint>
#include <memory>

#include "spectral/aligned_floats.h"
#include "spectral/real_fft.h"

namespace spectral {

struct KernelPasses;

/// One complex bin. `im` carries the sign of sum f[t]*sin(2*pi*m*t/N).
struct SpectralBin {
    float re = 0.0f;
    float im = 0.0f;
};

/// Window numbers accepted by SpectralProcessor::setWindow. Other numbers name no window.
enum WindowType : int32_t {
    RaisedCosine = 0,  ///< 0.5 * (1 - cos(2*pi*i/(N-1)))
    Rectangular = 3,   ///< 1.0
    SineCycle = 4,     ///< sin(2*pi*i/(N-1)): one full period, its second half negative
};

/// Threads: one thread at a time. processSample, processBlock and reset change the same history
/// without synchronisation, so an owner that is called from several threads (an effect whose host
/// suspends from its interface thread) defers reset to its processing thread. Even then, a
/// corrupted position cannot make a call read or write outside the buffers.
///
/// Latency: exactly frameSize() samples. With a processSpectrum that leaves the bins unchanged,
/// the result for sample s >= N is x[s - N] * G(s mod hop), G(m) = sum over j < 4 of
/// window[m + j*hop]^2: about 2 (1.996929 .. 1.999986 for N = 1024) with the SineCycle window.
class SpectralProcessor {
public:
    /// Frame length N = `frameSize`, a power of two of at least 4; hop N/4 until setHop. Other requests are
    /// adjusted, never rejected: below 4 (zero and negative included) gives 4, anything else
    /// RealFft::lengthFor (the next power of two, at most RealFft::maxLength). frameSize() tells
    /// the length used. Allocates every buffer, resets, and selects the SineCycle window.
    explicit SpectralProcessor(int32_t frameSize);
    /// The same with the kernel chosen, for comparing kernels: the transform runs it as RealFft's
    /// constructor of the same form resolves it, and the frame's passes run the same kernel.
    /// Every kernel gives the same results.
    SpectralProcessor(int32_t frameSize, RealFft::Kernel kernel);
    SpectralProcessor(const SpectralProcessor&) = delete;
    SpectralProcessor& operator=(const SpectralProcessor&) = delete;
    /// Frees every buffer and the transform.
    virtual ~SpectralProcessor();

    /// Pushes one input sample, returns one output sample: the input of `size` calls ago through
    /// the chain. Every `hop`-th call (the 257th after a reset for N = 1024, then every 256th)
    /// first processes a frame. Never allocates, evaluates no trigonometric function.
    float processSample(float x);
    /// The same as processSample on in[0], in[1], ... in[count - 1] in turn, the results going to
    /// out[0 .. count - 1]: same bits, same frames at the same samples. `out` may be `in` (each
    /// run of input is read before the matching output is written) but may not otherwise overlap
    /// it. count <= 0 does nothing. Never allocates, evaluates no trigonometric function.
    void processBlock(const float* in, float* out, int32_t count);
    /// The same, also writing to delayed[i] the input that in[i] meets in the ring: the sample
    /// pushed `size` calls before it (zero within `size` calls of a reset). That is the input
    /// lined up with the output, for an owner that mixes the two. `delayed` overlaps neither.
    void processBlock(const float* in, float* out, float* delayed, int32_t count);
    /// Clears input, output and bin history and the counters in place, so the next `size`
    /// results are zero again. Keeps the window and depth. Never allocates.
    void reset();
    /// Fills the window for RaisedCosine, Rectangular and SineCycle; other numbers change nothing.
    /// Evaluates cos/sin: not for the audio path. Takes effect at the next frame.
    void setWindow(int32_t type);

    /// Samples from each frame to the next, for the frames after the next one is due: 1 to
    /// frameSize(), others clamped. A frame falls due once `samples` have come in since the last
    /// one, so a shorter spacing than the samples already counted brings the next frame at once.
    /// Spacings above frameSize() would leave output positions that no frame refreshes.
    void setHop(int32_t samples);

    int32_t frameSize() const { return size; }
    int32_t hopSamples() const { return hop; }

    /// Stored for the owner; no operation of the processor reads it.
    float depth = 0.5f;

protected:
    /// The spectral operation, once per frame on `bins` (size/2 + 1 of them). May rewrite them;
    /// the `im` of bins 0 and size/2 is ignored afterwards. Does nothing here.
    virtual void processSpectrum();
    /// Once per frame after the inverse transform, on `frame` (size samples, not yet scaled by
    /// 1/size nor windowed): may rewrite them. Does nothing here.
    virtual void processResynthesis();
    /// Each of the size/2 + 1 bins becomes (float(sqrt(re*re + im*im)), 0), the squares, their
    /// sum and the root formed in double and rounded to float once: the zero-phase operation, run
    /// by the frame's kernel (every kernel gives the same bits). Never allocates.
    void replaceBinsByMagnitudes();
    /// The windows of the frames from the next one on: tables of size floats, which the owner
    /// keeps alive, or null for the processor's own (setWindow's, which serves both).
    void useWindows(const float* analysis, const float* synthesis);

    int32_t size;
    std::unique_ptr<SpectralBin[]> bins;
    /// The frame being processed: the windowed input, then the inverse transform's output.
    AlignedFloats frame;

private:
    void processFrame();
    void windowFrame(int32_t firstRun);
    void unpackBins();
    void packBins();
    void overlapAddFrame(int32_t firstRun, int32_t spacing);
    void overlapAddAcrossRingEnd(int32_t firstRun, int32_t spacing);

    int32_t writePos = 0;
    int32_t hop;
    int32_t hopCount = 0;
    std::unique_ptr<RealFft> fft;
    // N floats each, on 64-byte boundaries, where the kernels' widest registers work fastest.
    AlignedFloats inputRing;
    AlignedFloats outputAccum;
    AlignedFloats spectrum;
    AlignedFloats window;
    /// The windows the frames use: `window`, or tables of the owner's.
    const float* analysisWindow;
    const float* synthesisWindow;
    /// The frame's passes, the table of the transform's kernel.
    const KernelPasses* passes;
};

}  // namespace spectral
