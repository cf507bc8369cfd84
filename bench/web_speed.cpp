// The native side of the browser edition's speed comparison (scripts/bench-web): the audio core
// on each transform kernel this CPU runs, fed as the browser's worklet feeds the WebAssembly
// core (blocks of 128 samples, the classic settings, the same signal as bench/web_speed.mjs).
// Usage: tinvoicer_web_speed SECONDS   Prints one line per kernel: "<kernel> <ns per sample>".
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/voice_controls.h"
#include "core/zero_phase_core.h"

namespace {

using spectral::RealFft;

constexpr int32_t kBlock = 128;
constexpr int32_t kSignalSamples = 48000;

// A tone over a faint noise floor, as a voice on a microphone has: no bin of its frames is
// silent. (Near-silent bins make denormals, which the native core flushes and WebAssembly keeps
// at a cost; that is measured apart.)
std::vector<float> voiceLike() {
    std::vector<float> signal(kSignalSamples);
    uint32_t state = 1;
    for (int32_t n = 0; n < kSignalSamples; ++n) {
        state = state * 1664525u + 1013904223u;
        const double noise = state / 4294967296.0 - 0.5;
        signal[static_cast<std::size_t>(n)] = static_cast<float>(0.3 * std::sin(n * 0.031) + 0.001 * noise);
    }
    return signal;
}

double nanosecondsPerSample(RealFft::Kernel kernel, const std::vector<float>& signal, double seconds) {
    tinvoicer::ZeroPhaseCore core(tinvoicer::ZeroPhaseCore::kFrameSamples, kernel);
    const tinvoicer::VoiceControls controls;
    std::vector<float> out(kBlock);
    const auto blocks = static_cast<int64_t>(seconds * kSignalSamples / kBlock);
    volatile float sink = 0.0f;
    const auto start = std::chrono::steady_clock::now();
    for (int64_t block = 0; block < blocks; ++block) {
        const auto at = static_cast<std::size_t>(block * kBlock % (kSignalSamples - kBlock));
        core.process(signal.data() + at, out.data(), kBlock, controls);
        sink = sink + out[0];
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / static_cast<double>(blocks * kBlock);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0.0;
    if (argc != 2 || !(seconds > 0.0)) {
        std::fprintf(stderr, "usage: tinvoicer_web_speed SECONDS (of 48 kHz audio to process per kernel)\n");
        return 2;
    }
    const std::vector<float> signal = voiceLike();
    const struct {
        RealFft::Kernel kernel;
        const char* name;
    } kernels[] = {{RealFft::Kernel::Scalar, "scalar"},
                   {RealFft::Kernel::Sse2, "sse2"},
                   {RealFft::Kernel::Avx2, "avx2"},
                   {RealFft::Kernel::Avx512, "avx512"}};
    for (const auto& each : kernels) {
        if (RealFft::supports(each.kernel)) {
            std::printf("%s %.3f\n", each.name, nanosecondsPerSample(each.kernel, signal, seconds));
        }
    }
    return 0;
}
