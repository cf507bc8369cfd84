// module_digest: renders fixed signals through the built module, driven through its C entries as
// a host drives it, and prints one digest of the output's bits per case. Builds for other
// platforms run it under their emulator and compare with the build machine's own output on the
// scalar kernel: equal lines mean bit-identical audio.
//
// Usage: module_digest [--scalar-kernel]
//   --scalar-kernel  renders through the effect made in-process on the scalar kernel instead
//                    of the module (which picks the widest kernel the CPU runs)
// Prints "<case> <16 hex digits>" per case. Every input is made without the math library, whose
// last bits may differ between platforms: only the effect's own arithmetic is compared.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "effect/zero_phase_effect.h"
#include "support/signals.h"
#include "support/test_host.h"

namespace {

/// One effect, through whichever door it was made.
class Target {
public:
    virtual ~Target() = default;
    virtual void setGain(float gain) = 0;
    /// processReplacing, or process (which adds to what `out` holds) when `accumulate`.
    virtual void run(const float* in, float* out, int32_t frames, bool accumulate) = 0;
};

/// An effect made by the loaded module's entry, driven through the record's C entries.
class ModuleTarget : public Target {
public:
    explicit ModuleTarget(const LoadedModule& module) : plugin(module) {
        plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        plugin.dispatch(effMainsChanged, 0, 1);
    }
    void setGain(float gain) override { plugin.setParameter(ZeroPhaseEffect::kGain, gain); }
    void run(const float* in, float* out, int32_t frames, bool accumulate) override {
        if (accumulate) {
            plugin.process(in, out, frames);
        } else {
            plugin.processReplacing(in, out, frames);
        }
    }

private:
    RecordingHost host;  // answers the entry's version request, so it must be made first
    PluginInstance plugin;
};

/// The effect made in this process on the scalar kernel.
class ScalarKernelTarget : public Target {
public:
    ScalarKernelTarget() : effect(nullptr, spectral::RealFft::Kernel::Scalar) {}
    void setGain(float gain) override { effect.setParameter(ZeroPhaseEffect::kGain, gain); }
    void run(const float* in, float* out, int32_t frames, bool accumulate) override {
        float* inputs[] = {const_cast<float*>(in)};
        float* outputs[] = {out};
        if (accumulate) {
            effect.process(inputs, outputs, frames);
        } else {
            effect.processReplacing(inputs, outputs, frames);
        }
    }

private:
    ZeroPhaseEffect effect;
};

/// 64-bit FNV-1a over the samples' bytes.
uint64_t digest(const std::vector<float>& samples) {
    uint64_t hash = 14695981039346656037ull;
    for (float sample : samples) {
        unsigned char bytes[sizeof sample];
        std::memcpy(bytes, &sample, sizeof sample);
        for (unsigned char byte : bytes) {
            hash = (hash ^ byte) * 1099511628211ull;
        }
    }
    return hash;
}

/// A pulse train with a period that glides from 400 down to 200 samples, made by counting.
std::vector<float> pulses(size_t length) {
    std::vector<float> out(length, 0.0f);
    size_t next = 0;
    for (size_t t = 0; t < length; ++t) {
        if (t == next) {
            out[t] = 0.8f;
            next += 400 - 200 * t / length;
        }
    }
    return out;
}

/// Noise whose level falls by half every 2048 samples: its tail runs through denormal values.
std::vector<float> decaying(size_t length) {
    std::vector<float> out = test_support::noise(length, 0.5f, 7);
    float level = 1.0f;
    for (size_t t = 0; t < length; ++t) {
        if (t % 2048 == 2047) level *= 0.5f;
        out[t] *= level;
    }
    return out;
}

struct Case {
    const char* name;
    std::vector<float> input;
    int32_t block;
    float gain;
    bool accumulate;  // process() onto an output that already holds noise
};

std::vector<Case> cases() {
    constexpr size_t length = 3 * 44100;
    return {
        {"noise-block-1", test_support::noise(length, 0.5f, 1), 1, 0.5f, false},
        {"noise-block-4096", test_support::noise(length, 0.5f, 1), 4096, 0.5f, false},
        {"noise-gain-0.3-block-100", test_support::noise(length, 0.5f, 2), 100, 0.3f, false},
        {"full-scale-gain-1", test_support::noise(length, 1.0f, 3), 512, 1.0f, false},
        {"pulses-gain-0", pulses(length), 64, 0.0f, false},
        {"decay-into-denormals", decaying(300 * 1024), 1024, 0.75f, false},
        {"denormal-input", test_support::noise(length, 1e-39f, 5), 256, 0.5f, false},
        {"noise-accumulated", test_support::noise(length, 0.5f, 6), 333, 0.6f, true},
    };
}

std::vector<float> render(Target& target, const Case& c) {
    target.setGain(c.gain);
    std::vector<float> output =
        c.accumulate ? test_support::noise(c.input.size(), 0.25f, 99) : std::vector<float>(c.input.size(), 0.0f);
    for (size_t start = 0; start < c.input.size(); start += static_cast<size_t>(c.block)) {
        const auto frames =
            static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(c.block), c.input.size() - start));
        target.run(c.input.data() + start, output.data() + start, frames, c.accumulate);
    }
    return output;
}

}  // namespace

int main(int argc, char** argv) {
    const bool scalarKernel = argc == 2 && std::strcmp(argv[1], "--scalar-kernel") == 0;
    if (argc > 2 || (argc == 2 && !scalarKernel)) {
        std::fprintf(stderr, "usage: module_digest [--scalar-kernel]\n");
        return 2;
    }
    try {
        std::unique_ptr<LoadedModule> module;
        if (!scalarKernel) module = std::make_unique<LoadedModule>();
        for (const Case& c : cases()) {
            // A fresh effect per case, so that no case inherits another's history.
            std::unique_ptr<Target> target;
            if (scalarKernel) {
                target = std::make_unique<ScalarKernelTarget>();
            } else {
                target = std::make_unique<ModuleTarget>(*module);
            }
            const uint64_t bits = digest(render(*target, c));
            std::printf("%-26s %016llx\n", c.name, static_cast<unsigned long long>(bits));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "module_digest: %s\n", error.what());
        return 1;
    }
    return 0;
}
