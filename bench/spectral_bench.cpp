// Timings of the real FFT and the frame processor, with FFTW's single-precision real transforms
// of the same length as the baseline (when built with fftw3f).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "spectral/real_fft.h"
#include "spectral/spectral_processor.h"

#ifdef TINVOICER_BENCH_FFTW
#include <fftw3.h>
#endif

namespace {

std::vector<float> noise(std::size_t n) {
    std::mt19937 engine(42);
    std::vector<float> v(n);
    for (float& s : v) s = static_cast<float>(engine() / 4294967295.0 * 2.0 - 1.0);
    return v;
}

// One forward and one inverse transform (no rescale) per iteration.
void RealFftForwardInverse(benchmark::State& state) {
    const auto length = static_cast<int32_t>(state.range(0));
    RealFft fft(length);
    std::vector<float> signal = noise(static_cast<std::size_t>(length));
    std::vector<float> spectrum(signal.size());
    for (auto _ : state) {
        fft.forward(spectrum.data(), signal.data());
        fft.inverse(spectrum.data(), signal.data());
        // Keep the values bounded from one iteration to the next.
        signal[0] = 0.5f;
        benchmark::DoNotOptimize(signal.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 2);  // transforms
}
BENCHMARK(RealFftForwardInverse)->Arg(1024);

// A block of samples per iteration; "time_per_sample" averages the uneven per-sample cost, one frame
// every 256 samples included.
void SpectralProcessorProcessSample(benchmark::State& state) {
    constexpr int32_t frameLength = 1024;
    const auto blockSamples = static_cast<std::size_t>(state.range(0));
    SpectralProcessor processor(frameLength);
    const std::vector<float> in = noise(blockSamples);
    std::vector<float> out(blockSamples);
    for (auto _ : state) {
        for (std::size_t s = 0; s < blockSamples; ++s) out[s] = processor.processSample(in[s]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const auto samples = static_cast<double>(state.iterations()) * static_cast<double>(blockSamples);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    // Seconds per sample, printed with its SI prefix (e.g. "38.7ns").
    state.counters["time_per_sample"] = benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(SpectralProcessorProcessSample)->Arg(4096);

#ifdef TINVOICER_BENCH_FFTW
// FFTW's r2c and c2r of the same length, planned with FFTW_MEASURE outside the timed loop.
void FftwForwardInverse(benchmark::State& state) {
    const auto length = static_cast<int>(state.range(0));
    float* signal = fftwf_alloc_real(static_cast<std::size_t>(length));
    fftwf_complex* spectrum = fftwf_alloc_complex(static_cast<std::size_t>(length / 2 + 1));
    const fftwf_plan forward = fftwf_plan_dft_r2c_1d(length, signal, spectrum, FFTW_MEASURE);
    const fftwf_plan inverse = fftwf_plan_dft_c2r_1d(length, spectrum, signal, FFTW_MEASURE);
    const std::vector<float> values = noise(static_cast<std::size_t>(length));
    std::copy(values.begin(), values.end(), signal);  // planning with MEASURE overwrites the arrays
    for (auto _ : state) {
        fftwf_execute(forward);
        fftwf_execute(inverse);
        signal[0] = 0.5f;
        benchmark::DoNotOptimize(signal);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 2);
    fftwf_destroy_plan(inverse);
    fftwf_destroy_plan(forward);
    fftwf_free(spectrum);
    fftwf_free(signal);
}
BENCHMARK(FftwForwardInverse)->Arg(1024);
#endif

}  // namespace
