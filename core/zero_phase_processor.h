// The core's frame processors, private to the core: the VST 2 effect (whose frame processor and
// Depth field these are) and the tests see them, the other editions know only ZeroPhaseCore.
#pragma once

#include <cstdint>

#include "core/zero_phase_core.h"
#include "spectral/aligned_floats.h"
#include "spectral/spectral_processor.h"

/// The frame processor whose spectral operation is the zero-phase one: every bin becomes
/// (|bin|, 0), so each frame is resynthesised with its magnitudes and no phase.
class ZeroPhaseProcessor : public spectral::SpectralProcessor {
public:
    explicit ZeroPhaseProcessor(int32_t frameSize);
    /// The same on a chosen transform kernel, so that tests and benchmarks can run the product's
    /// own chain on each kernel; every kernel gives the same bits.
    ZeroPhaseProcessor(int32_t frameSize, spectral::RealFft::Kernel kernel);
    ~ZeroPhaseProcessor() override;

protected:
    void processSpectrum() override;
};

namespace tinvoicer {

/// The zero-phase processor with a tunable frame spacing, which is the robot's pitch.
///
/// At the classic spacing (a quarter frame) it is ZeroPhaseProcessor, bit for bit. At any other
/// spacing a frame is centred: its zero-phase pulse is moved from the frame's ends to its middle
/// (bin k times (-1)^k, a shift by half a frame), where a raised-cosine window, for analysis and
/// synthesis alike, keeps it whole. Each frame then adds one pulse, spaced exactly as the frames
/// are, so the voice sings at sample rate / spacing. The classic window's halves are each
/// other's negatives, which at other spacings leaves a second train of pulses of the opposite
/// sign between the first. A pulse's level is scaled by sqrt(spacing / classic spacing), which
/// keeps the output's power as the pulses come closer or further apart.
class VoiceProcessor : public ZeroPhaseProcessor {
public:
    VoiceProcessor(int32_t frameSize, spectral::RealFft::Kernel kernel);
    ~VoiceProcessor() override;

    /// Frames every `spacing` samples (clamped to 1 .. frameSize()), from the next frame on.
    /// Never allocates, evaluates no trigonometric function.
    void setFrameSpacing(int32_t spacing);

protected:
    void processSpectrum() override;

private:
    /// Periodic raised cosine, 0.5 * (1 - cos(2*pi*i/N)): its peak at N/2, where a centred
    /// frame's pulse lies.
    spectral::AlignedFloats centredWindow;
    int32_t classicSpacing;
    bool centred = false;
    /// A centred frame's level: bins are scaled by this, the odd ones negated.
    float centredScale = 1.0f;
};

/// The frame processor inside `core`, for the VST 2 effect, which keeps its Depth there, and for
/// tests.
ZeroPhaseProcessor& frameProcessorOf(ZeroPhaseCore& core);
const ZeroPhaseProcessor& frameProcessorOf(const ZeroPhaseCore& core);

}  // namespace tinvoicer
