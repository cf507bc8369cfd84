// tinvoicer._native: the audio core for Python, one core per channel. It takes float32 arrays of
// shape (channels, samples), C-contiguous, which the pure-Python layer (tinvoicer/_effect.py)
// makes from whatever the user gives after checking it; the checks here only keep a direct caller
// from crashing the interpreter. The processing runs with the GIL released, so threads that render
// different files run at once; one engine's calls take turns on its own lock.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/voice_controls.h"
#include "core/zero_phase_core.h"

namespace py = pybind11;

namespace {

using Audio = py::array_t<float, py::array::c_style>;

/// The core counts samples in 32-bit signed integers; an array may be longer.
constexpr int64_t kLongestCall = int64_t{1} << 30;
/// Silence and discarded output go through buffers of this many samples.
constexpr int64_t kBlockSamples = 8192;

/// The stream as it comes out of the core: `count` samples of `in` into `out` (which may be `in`).
void processStream(tinvoicer::ZeroPhaseCore& core, const float* in, float* out, int64_t count,
                   const tinvoicer::VoiceControls& controls) {
    for (int64_t done = 0; done < count;) {
        const int64_t length = std::min(count - done, kLongestCall);
        core.process(in + done, out + done, static_cast<int32_t>(length), controls);
        done += length;
    }
}

/// Buffers for what the stream takes or gives besides the caller's arrays.
struct SideBuffers {
    SideBuffers() : silence(kBlockSamples, 0.0f), discarded(kBlockSamples) {}
    std::vector<float> silence;
    std::vector<float> discarded;
};

/// Feeds `count` samples of `in` (nullptr: silence) and writes what comes out to `out` (nullptr:
/// nowhere).
void feed(tinvoicer::ZeroPhaseCore& core, const float* in, float* out, int64_t count,
          const tinvoicer::VoiceControls& controls, SideBuffers& side) {
    if (in != nullptr && out != nullptr) {
        processStream(core, in, out, count, controls);
        return;
    }
    for (int64_t done = 0; done < count;) {
        const int64_t length = std::min(count - done, kBlockSamples);
        core.process(in != nullptr ? in + done : side.silence.data(),
                     out != nullptr ? out + done : side.discarded.data(), static_cast<int32_t>(length), controls);
        done += length;
    }
}

/// The output lined up with the input and of its length: the core's stream of the input followed
/// by `latency` samples of silence, less its first `latency` samples. Stream position p is output
/// position p - latency.
void processAligned(tinvoicer::ZeroPhaseCore& core, const float* in, float* out, int64_t count,
                    const tinvoicer::VoiceControls& controls, SideBuffers& side) {
    const int64_t latency = core.latencySamples();
    const int64_t head = std::min(count, latency);
    feed(core, in, nullptr, head, controls, side);
    feed(core, in + head, out, count - head, controls, side);
    // Silence that still comes out before position `latency` goes nowhere, too.
    const int64_t silentHead = std::max<int64_t>(latency - count, 0);
    feed(core, nullptr, nullptr, silentHead, controls, side);
    feed(core, nullptr, out + std::max<int64_t>(count - latency, 0), latency - silentHead, controls, side);
}

/// The cores of one Tinvoicer object, one per channel, and what a stream carries from call to call.
class Engine {
public:
    Engine() = default;

    static int32_t latency() { return tinvoicer::ZeroPhaseCore::kFrameSamples; }

    /// Renders `audio` (channels, samples). `fresh` starts a new stream of as many channels (every
    /// core cleared); otherwise the stream goes on and must keep its channel count. `aligned`
    /// compensates the latency (output lined up with the input), otherwise the output is the stream.
    Audio render(const Audio& audio, float gainDb, float pitchSemitones, float mixPercent, bool fresh, bool aligned) {
        if (audio.ndim() != 2) throw py::value_error("expected a 2-D float32 array (channels, samples)");
        const int64_t channels = audio.shape(0);
        const int64_t samples = audio.shape(1);
        const tinvoicer::VoiceControls controls{tinvoicer::Gain::fromDecibels(gainDb),
                                                tinvoicer::Pitch::fromSemitones(pitchSemitones),
                                                tinvoicer::Mix::fromPercent(mixPercent)};
        Audio output({channels, samples});
        const float* in = audio.data();
        float* out = output.mutable_data();
        {
            py::gil_scoped_release released;
            // Taken without the GIL: a thread holding this lock may wait for the GIL only after
            // letting it go.
            std::lock_guard<std::mutex> turn(lock);
            if (fresh || cores.empty()) {
                startStream(channels);
            } else if (static_cast<int64_t>(cores.size()) != channels) {
                throw py::value_error("the stream has " + std::to_string(cores.size()) + " channel(s), this chunk " +
                                      std::to_string(channels) + "; start a new stream with reset=True");
            }
            for (int64_t channel = 0; channel < channels; ++channel) {
                tinvoicer::ZeroPhaseCore& core = *cores[static_cast<size_t>(channel)];
                const float* channelIn = in + channel * samples;
                float* channelOut = out + channel * samples;
                if (aligned) {
                    processAligned(core, channelIn, channelOut, samples, controls, side);
                } else {
                    processStream(core, channelIn, channelOut, samples, controls);
                }
            }
        }
        return output;
    }

private:
    /// Keeps the cores it has (their buffers are made once) and clears them.
    void startStream(int64_t channels) {
        while (static_cast<int64_t>(cores.size()) < channels)
            cores.push_back(std::make_unique<tinvoicer::ZeroPhaseCore>());
        cores.resize(static_cast<size_t>(channels));
        for (auto& core : cores) core->reset();
    }

    std::mutex lock;
    std::vector<std::unique_ptr<tinvoicer::ZeroPhaseCore>> cores;
    SideBuffers side;
};

}  // namespace

PYBIND11_MODULE(_native, module) {
    using tinvoicer::Gain;
    using tinvoicer::Mix;
    using tinvoicer::Pitch;
    module.doc() = "The audio core of Tinvoicer; use the package tinvoicer, which checks what it is given.";
    // The controls' ranges as the core keeps them: (minimum, maximum, default).
    module.attr("GAIN_DB") = py::make_tuple(Gain::kMinimumDb, Gain::kMaximumDb, Gain::kDefaultDb);
    module.attr("PITCH_SEMITONES") =
        py::make_tuple(Pitch::kMinimumSemitones, Pitch::kMaximumSemitones, Pitch::kDefaultSemitones);
    module.attr("MIX_PERCENT") = py::make_tuple(Mix::kMinimumPercent, Mix::kMaximumPercent, Mix::kDefaultPercent);
    py::class_<Engine>(module, "Engine", "One core per channel; calls on one engine take turns.")
        .def(py::init<>())
        .def_property_readonly_static(
            "latency", [](const py::object&) { return Engine::latency(); }, "The delay of the stream in samples.")
        .def("render", &Engine::render, py::arg("audio"), py::arg("gain_db"), py::arg("pitch"), py::arg("mix"),
             py::arg("fresh"), py::arg("aligned"), "Renders a C-contiguous float32 array (channels, samples).");
}
