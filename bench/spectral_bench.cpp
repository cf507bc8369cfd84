// Timings of the product on each of its transform kernels, each beside the same chain built on
// FFTW's single-precision real transforms in this same binary (fftw_chain.h). Run with
// --benchmark_enable_random_interleaving=true and repetitions (scripts/bench does), so candidate
// and baseline share the machine's load, and compare medians.
#include <benchmark/benchmark.h>
#include <fftw3.h>

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
#include "fftw_chain.h"
#include "spectral/flush_denormals.h"
#include "spectral/kernel_passes.h"
#include "spectral/real_fft.h"
#include "spectral/spectral_processor.h"

// ---- Heap accounting: operator new and delete keep each block's size in front of it, so that the
// bytes still held after a construction can be counted exactly.
namespace {
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

using spectral::RealFft;

// Every kernel of the product, narrowest first. Each table and the plot get a row per entry; a
// kernel this build or CPU lacks is reported as not run.
struct KernelEntry {
    RealFft::Kernel kernel;
    const char* name;
};
constexpr KernelEntry kernels[] = {
    {RealFft::Kernel::Scalar, "Scalar"},
    {RealFft::Kernel::Sse2, "Sse2"},
    {RealFft::Kernel::Avx2, "Avx2"},
    {RealFft::Kernel::Avx512, "Avx512"},
};

// Block sizes of the whole-effect rows: 512 is the headline, 64 the size of the per-call rows.
constexpr int64_t blockSizes[] = {16, 64, 256, 512, 2048};

constexpr int32_t frameLength = 1024;
constexpr int32_t hop = frameLength / 4;
constexpr double sampleRateHz = 44100.0;

const char* kernelName(RealFft::Kernel kernel) {
    for (const KernelEntry& entry : kernels) {
        if (entry.kernel == kernel) return entry.name;
    }
    return "unlisted";
}

std::string kernelList() {
    std::string list;
    for (const KernelEntry& entry : kernels) list += (list.empty() ? "" : ",") + std::string(entry.name);
    return list;
}

// Recorded in the output's context, for the report.
[[maybe_unused]] const bool contextRecorded = [] {
    benchmark::AddCustomContext("kernels", kernelList());
    benchmark::AddCustomContext("fastest_kernel", kernelName(RealFft::fastestKernel()));
    benchmark::AddCustomContext("fftw_version", fftwf_version);
    return true;
}();

// Whether `kernel` can run here; if not, the run is marked "not run here" instead of timed. The
// run's label names the kernel a 1024-point transform asked for it actually runs.
bool kernelRunsHere(benchmark::State& state, RealFft::Kernel kernel) {
    if (!RealFft::supports(kernel)) {
        state.SkipWithError("not run here: this build or CPU lacks the kernel");
        return false;
    }
    state.SetLabel(kernelName(RealFft(frameLength, kernel).kernel()));
    return true;
}

std::vector<float> noise(std::size_t n, uint32_t seed = 42) {
    std::mt19937 engine(seed);
    std::vector<float> v(n);
    for (float& s : v) s = static_cast<float>(engine() / 4294967295.0 * 2.0 - 1.0);
    return v;
}

// Ten seconds of noise, long enough that the cache holds no more of it than a host's would.
const std::vector<float>& effectInput() {
    static const std::vector<float> input = noise(441000, 7);
    return input;
}

// Per-sample time and speed as a multiple of real time at 44.1 kHz.
void setSampleCounters(benchmark::State& state, double samplesPerIteration) {
    const double samples = static_cast<double>(state.iterations()) * samplesPerIteration;
    // Seconds per sample, printed with its SI prefix ("11.5n" is 11.5 ns).
    state.counters["time_per_sample"] =
        benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["x_realtime"] = benchmark::Counter(samples / sampleRateHz, benchmark::Counter::kIsRate);
}

// ============================================================================ transforms

// One forward and one inverse transform of 1024 points (no rescale) per iteration.
void fftPairProduct(benchmark::State& state, RealFft::Kernel kernel) {
    if (!kernelRunsHere(state, kernel)) return;
    RealFft fft(frameLength, kernel);
    std::vector<float> signal = noise(frameLength);
    std::vector<float> spectrum(signal.size());
    for (auto _ : state) {
        fft.forward(spectrum.data(), signal.data());
        fft.inverse(signal.data(), spectrum.data());
        signal[0] = 0.5f;  // keeps the values bounded from one iteration to the next
        benchmark::DoNotOptimize(signal.data());
        benchmark::ClobberMemory();
    }
}

// FFTW's r2c and c2r of the same length, planned with FFTW_MEASURE before the timed loop.
void fftPairFftw(benchmark::State& state) {
    float* signal = fftwf_alloc_real(frameLength);
    fftwf_complex* spectrum = fftwf_alloc_complex(frameLength / 2 + 1);
    const fftwf_plan forward = fftwf_plan_dft_r2c_1d(frameLength, signal, spectrum, FFTW_MEASURE);
    const fftwf_plan inverse = fftwf_plan_dft_c2r_1d(frameLength, spectrum, signal, FFTW_MEASURE);
    const std::vector<float> values = noise(frameLength);
    std::copy(values.begin(), values.end(), signal);  // planning with MEASURE overwrites the arrays
    state.SetLabel(fftwf_version);
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

// ============================================================================ the whole effect

// The product as a host drives it: through the record's entries, on the kernel chosen.
class EffectHost {
public:
    explicit EffectHost(RealFft::Kernel kernel)
        : effect(new ZeroPhaseEffect(nullptr, kernel)), record(effect->record()) {}
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

// An FFTW chain driven the way the product's processReplacing drives its processor: under the
// denormal guard, with the output factor of the default gain computed on every call.
class FftwHost {
public:
    explicit FftwHost(std::unique_ptr<FftwChain> built) : chain(std::move(built)) {}
    void reset() { chain->reset(); }
    void process(const float* in, float* out, int32_t samples) {
        const FlushDenormalsScope scope;
        chain->process(in, out, samples, tinvoicer::Gain::fromNormalized(0.5f).factor());
    }

private:
    std::unique_ptr<FftwChain> chain;
};

using ChainFactory = std::unique_ptr<FftwChain> (*)();

struct FftwBuild {
    ChainFactory make;
    const char* name;
};
constexpr FftwBuild fftwBuilds[] = {
    {makeFftwChainNative, "FftwNative"},
    {makeFftwChainProjectFlags, "FftwProject"},
};

// Largest difference between an FFTW chain and the product over a second of noise, relative to
// the peak. Float transforms of 1024 points differ by a few 1e-7 relative; a different chain by
// far more.
double disagreementWithProduct(ChainFactory make) {
    EffectHost ours(RealFft::fastestKernel());
    FftwHost fftw(make());
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

bool isTheSameChain(benchmark::State& state, ChainFactory make) {
    const double disagreement = disagreementWithProduct(make);
    if (disagreement > 1e-5) {
        state.SkipWithError(
            ("the FFTW chain is not the product's chain: relative difference " + std::to_string(disagreement)).c_str());
        return false;
    }
    state.SetLabel(fftwf_version);
    return true;
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

void effectProduct(benchmark::State& state, RealFft::Kernel kernel) {
    if (!kernelRunsHere(state, kernel)) return;
    EffectHost host(kernel);
    runBlocks(state, host);
}

void effectFftw(benchmark::State& state, ChainFactory make) {
    if (!isTheSameChain(state, make)) return;
    FftwHost host(make());
    runBlocks(state, host);
}

// ============================================================================ one frame

// Calls of one hop each on the product's frame processor: every call carries exactly one frame,
// plus the hop's copies in and out.
void frame(benchmark::State& state, RealFft::Kernel kernel) {
    if (!kernelRunsHere(state, kernel)) return;
    ZeroPhaseProcessor processor(frameLength, kernel);
    const std::vector<float>& in = effectInput();
    std::vector<float> out(hop);
    std::size_t start = 0;
    const FlushDenormalsScope scope;
    for (auto _ : state) {
        if (start + hop > in.size()) start = 0;
        processor.processBlock(in.data() + start, out.data(), hop);
        start += hop;
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

// The frame's passes besides the transforms, each run alone from the kernel's own table (the
// code the processor calls) on a frame of 1024 points whose ring starts a hop in, as the second
// frame after a reset does.
enum class FramePass { Window, Unpack, Pack, Magnitudes, OverlapAdd };

struct FramePassEntry {
    FramePass pass;
    const char* name;
};
constexpr FramePassEntry framePasses[] = {
    {FramePass::Window, "Window"},         {FramePass::Unpack, "Unpack"},         {FramePass::Pack, "Pack"},
    {FramePass::Magnitudes, "Magnitudes"}, {FramePass::OverlapAdd, "OverlapAdd"},
};

void framePass(benchmark::State& state, RealFft::Kernel kernel, FramePass pass) {
    if (!kernelRunsHere(state, kernel)) return;
    // The table the processor takes: that of the kernel its transform runs.
    const spectral::KernelPasses& passes = spectral::kernelPasses(RealFft(frameLength, kernel).kernel());
    constexpr int32_t half = frameLength / 2;
    constexpr int32_t writePos = hop;
    constexpr int32_t firstRun = frameLength - writePos;
    const std::vector<float> window = noise(frameLength, 1);
    const std::vector<float> ring = noise(frameLength, 2);
    std::vector<float> frame = noise(frameLength, 3);
    std::vector<float> spectrum = noise(frameLength, 4);
    std::vector<float> accum(frameLength, 0.0f);
    std::vector<spectral::SpectralBin> bins(half + 1);
    passes.spectrumToBins(bins.data(), spectrum.data(), half);
    const FlushDenormalsScope scope;
    for (auto _ : state) {
        switch (pass) {
            case FramePass::Window:
                passes.windowFromRing(frame.data(), window.data(), ring.data(), writePos, firstRun, frameLength);
                break;
            case FramePass::Unpack: passes.spectrumToBins(bins.data(), spectrum.data(), half); break;
            case FramePass::Pack: passes.binsToSpectrum(spectrum.data(), bins.data(), half); break;
            // The second and later runs see (m, 0) bins: the same operations, the same time.
            case FramePass::Magnitudes: passes.magnitudes(bins.data(), half + 1); break;
            case FramePass::OverlapAdd:
                passes.overlapAdd(accum.data(), window.data(), frame.data(), writePos, firstRun, hop, frameLength);
                break;
        }
        benchmark::ClobberMemory();
    }
}

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

void callTimesProduct(benchmark::State& state, RealFft::Kernel kernel) {
    if (!kernelRunsHere(state, kernel)) return;
    EffectHost host(kernel);
    callTimes(state, host);
}

void callTimesFftw(benchmark::State& state, ChainFactory make) {
    if (!isTheSameChain(state, make)) return;
    FftwHost host(make());
    callTimes(state, host);
}

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

// The product's frame processor on the widest kernel, with and without the guard that
// processReplacing puts around it.
void decay(benchmark::State& state, bool flushDenormals) {
    constexpr int32_t block = 512;
    const RealFft::Kernel kernel = RealFft::fastestKernel();
    state.SetLabel(kernelName(kernel));
    ZeroPhaseProcessor processor(frameLength, kernel);
    const std::vector<float>& in = decayInput();
    std::vector<float> out(block);
    std::size_t start = 0;
    for (auto _ : state) {
        if (start + block > in.size()) start = 0;
        if (flushDenormals) {
            const FlushDenormalsScope scope;
            processor.processBlock(in.data() + start, out.data(), block);
        } else {
            processor.processBlock(in.data() + start, out.data(), block);
        }
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

// ============================================================================ registration

// Run names: FftPair/<Kernel>, FftPair/Fftw, Effect/<Kernel or FFTW build>/<block>,
// Frame/<Kernel>, Pass/<Kernel>/<pass>, CallTimes/<Kernel or FFTW build>.
[[maybe_unused]] const bool registered = [] {
    const auto withBlocks = [](benchmark::internal::Benchmark* b) {
        for (const int64_t block : blockSizes) b->Arg(block);
    };
    for (const KernelEntry& entry : kernels) {
        const std::string name = entry.name;
        const RealFft::Kernel kernel = entry.kernel;
        benchmark::RegisterBenchmark(("FftPair/" + name).c_str(), fftPairProduct, kernel);
        withBlocks(benchmark::RegisterBenchmark(("Effect/" + name).c_str(), effectProduct, kernel));
        benchmark::RegisterBenchmark(("Frame/" + name).c_str(), frame, kernel);
        for (const FramePassEntry& pass : framePasses) {
            benchmark::RegisterBenchmark(("Pass/" + name + "/" + pass.name).c_str(), framePass, kernel, pass.pass);
        }
        benchmark::RegisterBenchmark(("CallTimes/" + name).c_str(), callTimesProduct, kernel)->Iterations(1);
    }
    benchmark::RegisterBenchmark("FftPair/Fftw", fftPairFftw);
    for (const FftwBuild& build : fftwBuilds) {
        const std::string name = build.name;
        withBlocks(benchmark::RegisterBenchmark(("Effect/" + name).c_str(), effectFftw, build.make));
        benchmark::RegisterBenchmark(("CallTimes/" + name).c_str(), callTimesFftw, build.make)->Iterations(1);
    }
    return true;
}();

}  // namespace
