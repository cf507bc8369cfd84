// Timings of the real FFT's kernels and of the whole effect, each beside a baseline built on FFTW's
// single-precision real transforms in this same binary with the same compiler flags. Run with
// --benchmark_enable_random_interleaving=true and repetitions (scripts/bench does), so candidate
// and baseline share the machine's load, and compare medians.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "effect/zero_phase_effect.h"
#include "spectral/flush_denormals.h"
#include "spectral/real_fft.h"
#include "spectral/spectral_processor.h"

#ifdef TINVOICER_BENCH_FFTW
#include <fftw3.h>
#endif

// ---- Heap accounting: operator new and delete keep each block's size in front of it, so that the
// bytes still held after a construction can be counted exactly.
namespace {

using spectral::RealFft;
using spectral::SpectralProcessor;
bool countingHeap = false;
long long heapBytesLive = 0;
long long heapBlocksLive = 0;
constexpr std::size_t heapHeader = 16;  // keeps the block's alignment

void* countedAllocate(std::size_t bytes) {
    auto* base = static_cast<unsigned char*>(std::malloc(bytes + heapHeader));
    if (base == nullptr) throw std::bad_alloc();
    std::memcpy(base, &bytes, sizeof bytes);
    if (countingHeap) {
        heapBytesLive += static_cast<long long>(bytes);
        ++heapBlocksLive;
    }
    return base + heapHeader;
}

void countedFree(void* p) noexcept {
    if (p == nullptr) return;
    unsigned char* base = static_cast<unsigned char*>(p) - heapHeader;
    if (countingHeap) {
        std::size_t bytes = 0;
        std::memcpy(&bytes, base, sizeof bytes);
        heapBytesLive -= static_cast<long long>(bytes);
        --heapBlocksLive;
    }
    std::free(base);
}
}  // namespace

void* operator new(std::size_t bytes) { return countedAllocate(bytes); }
void* operator new[](std::size_t bytes) { return countedAllocate(bytes); }
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete[](void* p) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t) noexcept { countedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { countedFree(p); }

namespace {

constexpr int32_t frameLength = 1024;
constexpr double sampleRateHz = 44100.0;

std::vector<float> noise(std::size_t n, uint32_t seed = 42) {
    std::mt19937 engine(seed);
    std::vector<float> v(n);
    for (float& s : v) s = static_cast<float>(engine() / 4294967295.0 * 2.0 - 1.0);
    return v;
}

const char* kernelName(RealFft::Kernel kernel) {
    switch (kernel) {
        case RealFft::Kernel::Scalar: return "Scalar";
        case RealFft::Kernel::Sse2: return "Sse2";
        case RealFft::Kernel::Avx2: return "Avx2";
        case RealFft::Kernel::Avx512: return "Avx512";
    }
    return "?";
}

// Recorded in the output's context, for the report.
[[maybe_unused]] const bool contextRecorded = [] {
    benchmark::AddCustomContext("fft_kernel", kernelName(RealFft::fastestKernel()));
#ifdef TINVOICER_BENCH_FFTW
    benchmark::AddCustomContext("fftw_version", fftwf_version);
#endif
    return true;
}();

// Per-sample time and speed as a multiple of real time at 44.1 kHz.
void setSampleCounters(benchmark::State& state, double samplesPerIteration) {
    const double samples = static_cast<double>(state.iterations()) * samplesPerIteration;
    // Seconds per sample, printed with its SI prefix ("11.5n" is 11.5 ns).
    state.counters["time_per_sample"] = benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["x_realtime"] = benchmark::Counter(samples / sampleRateHz, benchmark::Counter::kIsRate);
}

// ============================================================================ transforms

// One forward and one inverse transform of 1024 points (no rescale) per iteration.
void FftPairRealFft(benchmark::State& state, RealFft::Kernel kernel) {
    if (!RealFft::supports(kernel)) {
        state.SkipWithError((std::string(kernelName(kernel)) + " is not available here").c_str());
        return;
    }
    RealFft fft(frameLength, kernel);
    std::vector<float> signal = noise(frameLength);
    std::vector<float> spectrum(signal.size());
    for (auto _ : state) {
        fft.forward(spectrum.data(), signal.data());
        fft.inverse(spectrum.data(), signal.data());
        signal[0] = 0.5f;  // keeps the values bounded from one iteration to the next
        benchmark::DoNotOptimize(signal.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(FftPairRealFft, Scalar, RealFft::Kernel::Scalar);
BENCHMARK_CAPTURE(FftPairRealFft, Sse2, RealFft::Kernel::Sse2);
BENCHMARK_CAPTURE(FftPairRealFft, Avx2, RealFft::Kernel::Avx2);

#ifdef TINVOICER_BENCH_FFTW
// FFTW's r2c and c2r of the same length, planned with FFTW_MEASURE before the timed loop.
void FftPairFftw(benchmark::State& state) {
    float* signal = fftwf_alloc_real(frameLength);
    fftwf_complex* spectrum = fftwf_alloc_complex(frameLength / 2 + 1);
    const fftwf_plan forward = fftwf_plan_dft_r2c_1d(frameLength, signal, spectrum, FFTW_MEASURE);
    const fftwf_plan inverse = fftwf_plan_dft_c2r_1d(frameLength, spectrum, signal, FFTW_MEASURE);
    const std::vector<float> values = noise(frameLength);
    std::copy(values.begin(), values.end(), signal);  // planning with MEASURE overwrites the arrays
    for (auto _ : state) {
        fftwf_execute(forward);
        fftwf_execute(inverse);
        signal[0] = 0.5f;
        benchmark::DoNotOptimize(signal);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(inverse);
    fftwf_destroy_plan(forward);
    fftwf_free(spectrum);
    fftwf_free(signal);
}
BENCHMARK(FftPairFftw);
#endif

// ============================================================================ the whole effect

// The effect as a host drives it: through the record's processReplacing entry.
class TinvoicerHost {
public:
    TinvoicerHost() : effect(new ZeroPhaseEffect(nullptr)), record(effect->record()) {}
    void reset() { record->dispatcher(record, effMainsChanged, 0, 0, nullptr, 0.0f); }
    void process(const float* in, float* out, int32_t samples) {
        float* ins[] = {const_cast<float*>(in)};
        float* outs[] = {out};
        record->processReplacing(record, ins, outs, samples);
    }

private:
    std::unique_ptr<ZeroPhaseEffect> effect;
    AEffect* record;
};

// The zero-phase operation of ZeroPhaseProcessor on a processor whose transform kernel is chosen.
class KernelZeroPhase : public SpectralProcessor {
public:
    explicit KernelZeroPhase(RealFft::Kernel kernel) : SpectralProcessor(frameLength, kernel) {}

protected:
    void processSpectrum() override {
        for (int32_t k = 0; k <= size / 2; ++k) {
            const double re = bins[k].re;
            const double im = bins[k].im;
            bins[k] = {static_cast<float>(std::sqrt(re * re + im * im)), 0.0f};
        }
    }
};

// The effect's processReplacing with the transform kernel chosen: the same loop, guard and gain.
class KernelHost {
public:
    explicit KernelHost(RealFft::Kernel kernel, bool flushDenormals = true)
        : processor(kernel), flush(flushDenormals) {}
    void process(const float* in, float* out, int32_t samples) {
        if (flush) {
            const FlushDenormalsScope scope;
            run(in, out, samples);
        } else {
            run(in, out, samples);
        }
    }

private:
    void run(const float* in, float* out, int32_t samples) {
        const float factor = outputFactor(0.5f);
        constexpr int32_t runSamples = 256;
        float processed[runSamples];
        for (int32_t start = 0; start < samples; start += runSamples) {
            const int32_t count = std::min(runSamples, samples - start);
            processor.processBlock(in + start, processed, count);
            for (int32_t i = 0; i < count; ++i) out[start + i] = processed[i] * factor;
        }
    }

    KernelZeroPhase processor;
    bool flush;
};

#ifdef TINVOICER_BENCH_FFTW
// The same chain on FFTW: input ring, analysis window, r2c, 513 magnitudes in double, c2r, 1/N,
// synthesis window, overlap-add, output factor, in the same runs between frames, under the same
// denormal guard. Its results agree with the effect's to float rounding (checked before timing).
class FftwHost {
public:
    FftwHost()
        : ring(frameLength, 0.0f), accum(frameLength, 0.0f), window(frameLength),
          frame(fftwf_alloc_real(frameLength)), bins(fftwf_alloc_complex(half + 1)),
          forward(fftwf_plan_dft_r2c_1d(frameLength, frame, bins, FFTW_MEASURE)),
          inverse(fftwf_plan_dft_c2r_1d(frameLength, bins, frame, FFTW_MEASURE)) {
        const double pi = 4.0 * std::atan(1.0);
        for (int32_t i = 0; i < frameLength; ++i) window[i] = static_cast<float>(std::sin(2.0 * pi * (i / (frameLength - 1.0))));
    }
    ~FftwHost() {
        fftwf_destroy_plan(inverse);
        fftwf_destroy_plan(forward);
        fftwf_free(bins);
        fftwf_free(frame);
    }
    FftwHost(const FftwHost&) = delete;
    FftwHost& operator=(const FftwHost&) = delete;

    void reset() {
        std::fill(ring.begin(), ring.end(), 0.0f);
        std::fill(accum.begin(), accum.end(), 0.0f);
        writePos = 0;
        hopCount = 0;
    }

    void process(const float* in, float* out, int32_t samples) {
        const FlushDenormalsScope scope;
        const float factor = outputFactor(0.5f);
        while (samples > 0) {
            if (hopCount >= hop) processFrame();
            const int32_t run = std::min(samples, hop - hopCount);
            std::copy(in, in + run, ring.data() + writePos);
            for (int32_t i = 0; i < run; ++i) out[i] = accum[writePos + i] * factor;
            writePos += run;
            hopCount += run;
            in += run;
            out += run;
            samples -= run;
        }
    }

private:
    static constexpr int32_t hop = frameLength / 4;
    static constexpr int32_t half = frameLength / 2;

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

    std::vector<float> ring;
    std::vector<float> accum;
    std::vector<float> window;
    float* frame;
    fftwf_complex* bins;
    fftwf_plan forward;
    fftwf_plan inverse;
    int32_t writePos = 0;
    int32_t hopCount = 0;
};
#endif

// Ten seconds of noise, long enough that the cache holds no more of it than a host's would.
const std::vector<float>& effectInput() {
    static const std::vector<float> input = noise(441000, 7);
    return input;
}

template <class Host>
void runBlocks(benchmark::State& state, Host& host) {
    const auto block = static_cast<int32_t>(state.range(0));
    const std::vector<float>& in = effectInput();
    std::vector<float> out(static_cast<std::size_t>(block));
    std::size_t start = 0;
    for (auto _ : state) {
        if (start + static_cast<std::size_t>(block) > in.size()) start = 0;
        host.process(in.data() + start, out.data(), block);
        start += static_cast<std::size_t>(block);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setSampleCounters(state, block);
}

void EffectTinvoicer(benchmark::State& state) {
    TinvoicerHost host;
    runBlocks(state, host);
}
BENCHMARK(EffectTinvoicer)->Arg(512)->Arg(64);

void EffectTinvoicerSse2Kernel(benchmark::State& state) {
    KernelHost host(RealFft::Kernel::Sse2);
    runBlocks(state, host);
}
BENCHMARK(EffectTinvoicerSse2Kernel)->Arg(512)->Arg(64);

#ifdef TINVOICER_BENCH_FFTW
// Largest difference between the two chains over a second of noise, relative to the peak.
double fftwChainDisagreement() {
    TinvoicerHost ours;
    FftwHost fftw;
    const std::vector<float> in(effectInput().begin(), effectInput().begin() + 44100);
    std::vector<float> a(in.size());
    std::vector<float> b(in.size());
    ours.process(in.data(), a.data(), static_cast<int32_t>(in.size()));
    fftw.process(in.data(), b.data(), static_cast<int32_t>(in.size()));
    double peak = 0.0;
    double worst = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        peak = std::max(peak, static_cast<double>(std::fabs(a[i])));
        worst = std::max(worst, static_cast<double>(std::fabs(a[i] - b[i])));
    }
    return worst / peak;
}

void EffectFftw(benchmark::State& state) {
    static const double disagreement = fftwChainDisagreement();
    // Float transforms of 1024 points differ by a few 1e-7 relative; a different chain by far more.
    if (disagreement > 1e-5) {
        state.SkipWithError(("the FFTW chain is not the same chain: relative difference " + std::to_string(disagreement)).c_str());
        return;
    }
    FftwHost host;
    runBlocks(state, host);
}
BENCHMARK(EffectFftw)->Arg(512)->Arg(64);
#endif

// ============================================================================ per-call times

double wallNs() {
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double medianOf(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// The same 4096 calls of 64 samples from a reset, replayed 8 times, each call timed by the wall
// clock. Per call, the least of its 8 times is its own work (preemption and cache misses from
// other processes only add); the worst of those is the worst call the code makes. The raw times
// are reported too: what a host's deadline sees on this machine. One call in four carries a frame:
// those that begin at a multiple of 256 samples.
template <class Host>
void callTimes(benchmark::State& state, Host& host) {
    constexpr int32_t block = 64;
    constexpr std::size_t calls = 4096;
    constexpr int replays = 8;
    const std::vector<float>& in = effectInput();
    float out[block];
    std::vector<double> raw;
    raw.reserve(calls * replays);
    std::vector<double> least(calls, 1e300);
    for (auto _ : state) {
        for (int r = 0; r < replays; ++r) {
            host.reset();
            for (std::size_t c = 0; c < calls; ++c) {
                const double begin = wallNs();
                host.process(in.data() + c * block, out, block);
                const double end = wallNs();
                benchmark::DoNotOptimize(out);
                raw.push_back(end - begin);
                least[c] = std::min(least[c], end - begin);
            }
        }
    }
    std::vector<double> frameCalls;
    for (std::size_t c = 4; c < calls; c += 4) frameCalls.push_back(least[c]);
    std::sort(raw.begin(), raw.end());
    state.counters["median_call_ns"] = medianOf(least);
    state.counters["frame_call_ns"] = medianOf(frameCalls);
    state.counters["worst_call_ns"] = *std::max_element(least.begin(), least.end());
    state.counters["raw_p999_call_ns"] = raw[raw.size() * 999 / 1000];
    state.counters["raw_worst_call_ns"] = raw.back();
}

void CallTimesTinvoicer(benchmark::State& state) {
    TinvoicerHost host;
    callTimes(state, host);
}
BENCHMARK(CallTimesTinvoicer)->Iterations(1);

#ifdef TINVOICER_BENCH_FFTW
void CallTimesFftw(benchmark::State& state) {
    FftwHost host;
    callTimes(state, host);
}
BENCHMARK(CallTimesFftw)->Iterations(1);
#endif

// ============================================================================ denormals

// Noise that decays from 1e-30 to 1e-44 over one second: its frames, spectra and overlap-add
// sums fall through the denormal range (below 1.2e-38).
const std::vector<float>& decayInput() {
    static const std::vector<float> input = [] {
        std::vector<float> v = noise(44100, 11);
        for (std::size_t i = 0; i < v.size(); ++i) v[i] *= static_cast<float>(1e-30 * std::pow(1e-14, i / 44100.0));
        return v;
    }();
    return input;
}

void decay(benchmark::State& state, bool flushDenormals) {
    constexpr int32_t block = 512;
    KernelHost host(RealFft::fastestKernel(), flushDenormals);
    const std::vector<float>& in = decayInput();
    std::vector<float> out(block);
    std::size_t start = 0;
    for (auto _ : state) {
        if (start + block > in.size()) start = 0;
        host.process(in.data() + start, out.data(), block);
        start += block;
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setSampleCounters(state, block);
}
BENCHMARK_CAPTURE(decay, IntoDenormalsFlushed, true);
BENCHMARK_CAPTURE(decay, IntoDenormalsUnflushed, false);

// ============================================================================ construction

// Construction time of the effect (destruction not timed) and the heap it holds afterwards.
void ConstructEffect(benchmark::State& state) {
    countingHeap = true;
    heapBytesLive = 0;
    heapBlocksLive = 0;
    auto probe = std::make_unique<ZeroPhaseEffect>(nullptr);
    const long long bytes = heapBytesLive;
    const long long blocks = heapBlocksLive;
    countingHeap = false;
    probe.reset();
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        auto* effect = new ZeroPhaseEffect(nullptr);
        const auto end = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(effect);
        delete effect;
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    }
    state.counters["heap_bytes"] = static_cast<double>(bytes);
    state.counters["heap_blocks"] = static_cast<double>(blocks);
}
BENCHMARK(ConstructEffect)->UseManualTime();

}  // namespace
