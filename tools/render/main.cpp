// tinvoicer-render: renders an audio file through a VST 2 effect module offline, driving the
// effect the way a host does. Every failure is one line on stderr and a non-zero exit.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "kit/crash_guard.h"
#include "kit/effect_controls.h"
#include "kit/effect_instance.h"
#include "kit/plugin_module.h"
#include "kit/tool_error.h"
#include "render/command_line.h"
#include "render/demo_voice.h"
#include "render/pending_file.h"
#include "render/progress_bar.h"
#include "render/renderer.h"
#include "render/sound_file.h"

namespace {

constexpr const char* kToolName = "tinvoicer-render";

struct OpenedSource {
    std::unique_ptr<AudioSource> stream;
    int format;
};

OpenedSource openSource(const std::string& inputPath) {
    if (inputPath.empty()) {
        return {std::make_unique<MemorySource>(makeDemoVoice(), 1, kDemoVoiceSampleRateHz), kDemoVoiceFormat};
    }
    auto reader = std::make_unique<SoundFileReader>(inputPath);
    const int format = reader->format();
    return {std::move(reader), format};
}

std::string modulePathFor(const RenderOptions& options) {
    return options.pluginPath.empty() ? defaultModulePath() : options.pluginPath;
}

void warn(const std::string& message) { std::cerr << kToolName << ": warning: " << message << '\n'; }

/// The format to write `pending` in: `format`, or one that streams when the output cannot seek.
int formatFor(const PendingFile& pending, int format, int32_t channels, int32_t rateHz) {
    return pending.seekable() ? format : streamableFormat(pending.destination(), format, channels, rateHz);
}

/// Fails when the finished file's header disagrees with what was written to it, as a header that
/// overflowed its size fields would.
void checkWrittenFrames(const PendingFile& pending, const SoundFileWriter& writer, int format, int32_t channels,
                        int32_t rateHz) {
    if (pending.writesInPlace()) {
        return;  // a device or FIFO cannot be read back
    }
    const int64_t found = framesInFile(pending.pendingPath(), format, channels, rateHz);
    if (found != writer.frameCount()) {
        throw ToolError(quoted(pending.destination()) + ": the written file holds " + std::to_string(found) +
                        " frames, but " + std::to_string(writer.frameCount()) + " were rendered");
    }
}

/// Writes the demo voice itself, unprocessed, in the container `path`'s extension names (else WAV).
void saveDemoVoice(const std::string& path) {
    refuseToReplaceInput("", path);
    MemorySource source(makeDemoVoice(), 1, kDemoVoiceSampleRateHz);
    const int namedFormat = chooseOutputFormat(path, kDemoVoiceFormat, SampleFormat::keep, 1, kDemoVoiceSampleRateHz);
    PendingFile pending(path);
    const int format = formatFor(pending, namedFormat, 1, kDemoVoiceSampleRateHz);
    SoundFileWriter writer(pending.descriptor(), path, format, 1, kDemoVoiceSampleRateHz);
    std::vector<float> block(static_cast<size_t>(source.frameCount()));
    writer.write(block.data(), source.read(block.data(), source.frameCount()));
    writer.close();
    checkWrittenFrames(pending, writer, format, 1, kDemoVoiceSampleRateHz);
    pending.commit();
}

/// Flushes stdout; a short write (a full disk, a closed pipe) is a failure, not a silent loss.
/// errno must be cleared before the output it checks.
void checkStandardOutput() {
    if (!std::cout.flush()) {
        throw ToolError(std::string("standard output: write failed: ") +
                        (errno != 0 ? std::strerror(errno) : "unknown reason"));
    }
}

void listEffect(const RenderOptions& options) {
    PluginModule module(modulePathFor(options));
    EffectInstance effect(module.entry(), module.path());
    effect.prepare(static_cast<float>(kDemoVoiceSampleRateHz), options.blockFrames);
    applyControls(effect, resolveControls(effect, options));
    errno = 0;
    printListing(effect, std::cout);
    checkStandardOutput();
}

void reportAfterRender(const RenderResult& result, const SoundFileWriter& writer, const std::string& outputPath) {
    if (result.negativeLatency) {
        warn(negativeLatencyWarning(*result.negativeLatency));
    }
    if (result.latencyChangedTo) {
        warn("the effect changed its latency to " + std::to_string(*result.latencyChangedTo) +
             " samples during the render; the output is aligned for the latency it had at the start");
    }
    if (writer.nonFiniteSamples() > 0) {
        std::cerr << kToolName << ": " << quoted(outputPath) << ": " << writer.nonFiniteSamples()
                  << " non-finite samples (NaN or infinity) written as 0\n";
    }
    if (writer.clippedSamples() > 0) {
        std::cerr << kToolName << ": " << quoted(outputPath) << ": " << writer.clippedSamples()
                  << " samples clipped to full scale (" << writer.sampleFormatName() << ")\n";
    }
}

void renderFile(const RenderOptions& options) {
    OpenedSource source = openSource(options.inputPath);
    const int32_t channels = source.stream->channelCount();
    const int32_t rateHz = source.stream->sampleRateHz();
    refuseToReplaceInput(options.inputPath, options.outputPath);
    int namedFormat =
        formatForLength(options.outputPath,
                        chooseOutputFormat(options.outputPath, source.format, options.sampleFormat, channels, rateHz),
                        channels, source.stream->frameCount());
    if (isPipeOrSocket(options.outputPath)) {
        // Refused before opening, which would first wait for the FIFO's reader.
        namedFormat = streamableFormat(options.outputPath, namedFormat, channels, rateHz);
    }
    PendingFile pending(options.outputPath);
    const int outputFormat = formatFor(pending, namedFormat, channels, rateHz);

    // Declared before the instances so that they are closed before it unloads.
    PluginModule module(modulePathFor(options));
    const PluginMainProc entry = module.entry();
    std::vector<std::unique_ptr<EffectInstance>> instances;
    instances.push_back(std::make_unique<EffectInstance>(entry, module.path()));
    const int32_t needed = instancesNeeded(instances[0]->inputCount(), instances[0]->outputCount(), channels);
    while (static_cast<int32_t>(instances.size()) < needed) {
        instances.push_back(std::make_unique<EffectInstance>(entry, module.path()));
    }
    const ControlSettings controls = resolveControls(*instances[0], options);
    std::vector<EffectInstance*> effects;
    for (const auto& instance : instances) {
        instance->prepare(static_cast<float>(rateHz), options.blockFrames);
        applyControls(*instance, controls);
        effects.push_back(instance.get());
    }
    for (const std::string& warning : routingWarnings(instances[0]->inputCount(), instances[0]->outputCount(),
                                                      static_cast<int32_t>(instances.size()), channels)) {
        warn(warning);
    }

    SoundFileWriter writer(pending.descriptor(), options.outputPath, outputFormat, channels, rateHz);
    ProgressBar progressBar(source.stream->frameCount(), rateHz);
    Renderer renderer(effects, channels, options.blockFrames);
    const RenderResult result = renderer.render(*source.stream, writer, options.compensateLatency,
                                                [&](int64_t done, int64_t total) { progressBar.update(done, total); });
    writer.close();
    checkWrittenFrames(pending, writer, outputFormat, channels, rateHz);
    pending.commit();
    reportAfterRender(result, writer, options.outputPath);
}

}  // namespace

int main(int argc, char** argv) {
    installSignalGuards(kToolName);
    return exitStatusOf(kToolName, [&] {
        const RenderOptions options = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (options.showHelp) {
            errno = 0;
            std::cout << usageText();
            checkStandardOutput();
        } else if (!options.demoSavePath.empty()) {
            saveDemoVoice(options.demoSavePath);
        } else if (options.listOnly) {
            listEffect(options);
        } else {
            renderFile(options);
        }
    });
}
