// The audio core's own speed, the baseline of bench/python_bench.py: ns per sample of
// ZeroPhaseCore::process on one thread over one mono signal, the best of several runs.
// Usage: tinvoicer_core_rate SAMPLES RUNS   (prints one number: ns per sample)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/voice_controls.h"
#include "core/zero_phase_core.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tinvoicer_core_rate SAMPLES RUNS\n");
        return 2;
    }
    const long samples = std::atol(argv[1]);
    const int runs = std::atoi(argv[2]);
    if (samples < 1 || samples > (1L << 30) || runs < 1) {
        std::fprintf(stderr, "tinvoicer_core_rate: SAMPLES from 1 to 2^30, RUNS from 1\n");
        return 2;
    }
    std::vector<float> in(static_cast<size_t>(samples));
    std::vector<float> out(in.size());
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    std::generate(in.begin(), in.end(), [&] { return noise(random); });
    tinvoicer::ZeroPhaseCore core;
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        core.reset();
        const auto start = std::chrono::steady_clock::now();
        core.process(in.data(), out.data(), static_cast<int32_t>(samples), tinvoicer::VoiceControls{});
        const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / static_cast<double>(samples));
    }
    std::printf("%.3f\n", best);
    return 0;
}
