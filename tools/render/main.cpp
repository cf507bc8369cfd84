// tinvoicer-render: renders an audio file through a VST 2 effect module offline, driving the
// effect the way a host does. Every failure is one line on stderr and a non-zero exit.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "demo_voice.h"
#include "effect_controls.h"
#include "effect_instance.h"
#include "pending_file.h"
#include "plugin_module.h"
#include "progress_bar.h"
#include "renderer.h"
#include "sound_file.h"
#include "tool_error.h"

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

/// Writes the demo voice itself, unprocessed, in the container `path`'s extension names (else WAV).
void saveDemoVoice(const std::string& path) {
    refuseToReplaceInput("", path);
    MemorySource source(makeDemoVoice(), 1, kDemoVoiceSampleRateHz);
    const int format = chooseOutputFormat(path, kDemoVoiceFormat, SampleFormat::keep, 1, kDemoVoiceSampleRateHz);
    PendingFile pending(path);
    SoundFileWriter writer(pending.descriptor(), path, format, 1, kDemoVoiceSampleRateHz);
    std::vector<float> block(static_cast<size_t>(source.frameCount()));
    writer.write(block.data(), source.read(block.data(), source.frameCount()));
    writer.close();
    pending.commit();
}

void listEffect(const RenderOptions& options) {
    PluginModule module(modulePathFor(options));
    EffectInstance effect(module.entry(), module.path());
    effect.prepare(static_cast<float>(kDemoVoiceSampleRateHz), options.blockFrames);
    applyControls(effect, resolveControls(effect, options));
    printListing(effect, std::cout);
    if (!std::cout.flush()) {
        throw ToolError("standard output: write failed");
    }
}

void warnAboutSilentChannels(const EffectInstance& effect, size_t instanceCount, int32_t channels) {
    if (instanceCount == 1 && effect.outputCount() < channels) {
        std::cerr << kToolName << ": warning: the effect has " << effect.outputCount()
                  << " outputs; output channels " << effect.outputCount() + 1 << " to " << channels
                  << " are silent\n";
    }
}

void renderFile(const RenderOptions& options) {
    OpenedSource source = openSource(options.inputPath);
    const int32_t channels = source.stream->channelCount();
    const int32_t rateHz = source.stream->sampleRateHz();
    refuseToReplaceInput(options.inputPath, options.outputPath);
    const int outputFormat =
        chooseOutputFormat(options.outputPath, source.format, options.sampleFormat, channels, rateHz);

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
    warnAboutSilentChannels(*instances[0], instances.size(), channels);

    PendingFile pending(options.outputPath);
    SoundFileWriter writer(pending.descriptor(), options.outputPath, outputFormat, channels, rateHz);
    ProgressBar progressBar(source.stream->frameCount(), rateHz);
    Renderer renderer(effects, channels, options.blockFrames);
    const RenderResult result =
        renderer.render(*source.stream, writer, options.compensateLatency,
                        [&](int64_t done, int64_t total) { progressBar.update(done, total); });
    writer.close();
    pending.commit();
    if (result.latencyChangedTo) {
        std::cerr << kToolName << ": warning: the effect changed its latency to " << *result.latencyChangedTo
                  << " samples during the render; the output is aligned for the latency it had at the start\n";
    }
    if (writer.clippedSamples() > 0) {
        std::cerr << kToolName << ": " << options.outputPath << ": " << writer.clippedSamples()
                  << " samples clipped to full scale (" << writer.sampleFormatName() << ")\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const RenderOptions options = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (options.showHelp) {
            std::cout << usageText();
        } else if (!options.demoSavePath.empty()) {
            saveDemoVoice(options.demoSavePath);
        } else if (options.listOnly) {
            listEffect(options);
        } else {
            renderFile(options);
        }
        return 0;
    } catch (const UsageError& error) {
        std::cerr << kToolName << ": " << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << kToolName << ": " << error.what() << '\n';
        return 1;
    }
}
