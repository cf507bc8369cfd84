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
/// spacing each frame sings one pulse, and the pulses come exactly as far apart as the frames, so
/// the voice sings at sample rate / spacing:
/// - the frame is analysed through a raised cosine, and its zero-phase pulse is moved from the
///   frame's ends to its middle (bin k times (-1)^k). The classic window's halves are each other's
///   negatives, which at other spacings leaves a second train of pulses between the first;
/// - a raised cosine of a quarter frame around the middle keeps the pulse and drops the echoes of
///   the voice's own pitch period beside it, so the voice's pitch does not sing along;
/// - the pulse is scaled to the power the classic window would have kept of the same frame, times
///   sqrt(spacing / classic spacing), which keeps the level of speech and noise within about a
///   decibel of the classic robot's across the range (scripts/voice-report measures it).
class VoiceProcessor : public ZeroPhaseProcessor {
public:
    VoiceProcessor(int32_t frameSize, spectral::RealFft::Kernel kernel);
    ~VoiceProcessor() override;

    /// Frames every `spacing` samples (clamped to 1 .. frameSize()), from the next frame on.
    /// Never allocates, evaluates no trigonometric function.
    void setFrameSpacing(int32_t spacing);

protected:
    void processSpectrum() override;
    void processResynthesis() override;

private:
    bool centred() const { return hopSamples() != classicSpacing; }

    /// 0.5 * (1 - cos(2*pi*i/N)), whose peak is at N/2.
    spectral::AlignedFloats analysisWindow;
    /// A raised cosine of N/4 samples around N/2, zero elsewhere.
    spectral::AlignedFloats pulseWindow;
    /// The squares of the classic window and of the pulse window, over a centred frame.
    spectral::AlignedFloats classicSquares;
    spectral::AlignedFloats pulseSquares;
    int32_t classicSpacing;
    /// The pulse window's span, [pulseStart, pulseEnd): a quarter frame around N/2.
    int32_t pulseStart;
    int32_t pulseEnd;
};

/// The frame processor inside `core`, for the VST 2 effect, which keeps its Depth there, and for
/// tests.
ZeroPhaseProcessor& frameProcessorOf(ZeroPhaseCore& core);
const ZeroPhaseProcessor& frameProcessorOf(const ZeroPhaseCore& core);

}  // namespace tinvoicer
