#include "fake_effect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

const char* const kParameterNames[] = {" Gain", "Mix Level"};
const char* const kProgramNames[] = {"Soft", "Hard", " Loud"};

class FakeEffect {
public:
    FakeEffect(const FakeEffectShape& shape, audioMasterCallback host)
        : shape(shape),
          host(host),
          delayLines(static_cast<size_t>(std::max(shape.inputs, 0)),
                     std::vector<float>(static_cast<size_t>(std::max(shape.latencyFrames, 0)))) {
        record.magic = kEffectMagic;
        record.dispatcher = &FakeEffect::dispatcherEntry;
        record.process = &FakeEffect::accumulatingEntry;
        record.processReplacing = shape.canReplacing ? &FakeEffect::replacingEntry : &FakeEffect::poisonEntry;
        record.setParameter = &FakeEffect::setParameterEntry;
        record.getParameter = &FakeEffect::getParameterEntry;
        record.numInputs = shape.inputs;
        record.numOutputs = shape.outputs;
        record.numParams = 2;
        record.numPrograms = 3;
        record.initialDelay = shape.announcesLatencyOnceRunning ? 0 : shape.latencyFrames;
        record.flags = shape.canReplacing ? effFlagsCanReplacing : 0;
        record.object = this;
        log->inputPeaks.assign(static_cast<size_t>(std::max(shape.inputs, 0)), 0.0f);
        log->parameters.assign(2, 0.0f);
    }

    AEffect record{};
    std::shared_ptr<FakeEffectLog> log = std::make_shared<FakeEffectLog>();

private:
    static FakeEffect& of(AEffect* effect) { return *static_cast<FakeEffect*>(effect->object); }

    static intptr_t dispatcherEntry(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                    float opt) {
        FakeEffect& self = of(effect);
        self.log->opcodes.push_back(opcode);
        const intptr_t answer = self.dispatch(opcode, index, value, static_cast<char*>(ptr), opt);
        if (opcode == effClose) {
            delete &self;
        }
        return answer;
    }

    intptr_t dispatch(int32_t opcode, int32_t index, intptr_t value, char* text, float opt) {
        switch (opcode) {
            case effSetSampleRate: log->sampleRateHz = opt; return 0;
            case effSetBlockSize: log->blockFrames = value; return 0;
            case effMainsChanged:
                log->mainsValues.push_back(value);
                resumed = value != 0;
                if (resumed) {
                    log->sampleRateAnswer = host(&record, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
                    log->blockSizeAnswer = host(&record, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f);
                    log->processLevelAnswer = host(&record, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f);
                }
                return 0;
            case effSetProgram: program = static_cast<int32_t>(value); return 0;
            case effGetProgram: return program;
            case effGetProgramName: std::strcpy(text, kProgramNames[program]); return 0;
            case effGetProgramNameIndexed:
                if (!shape.answersIndexedProgramNames || index < 0 || index >= 3) {
                    return 0;
                }
                std::strcpy(text, kProgramNames[index]);
                return 1;
            case effGetParamName: std::strcpy(text, kParameterNames[index]); return 0;
            default: return 0;
        }
    }

    float delayed(int32_t pin, float sample) {
        if (shape.latencyFrames <= 0) {
            return sample;
        }
        std::vector<float>& line = delayLines[static_cast<size_t>(pin)];
        const float out = line[position];
        line[position] = sample;
        return out;
    }

    /// Computes one block into `outputs`, adding when `accumulate`.
    void run(float** inputs, float** outputs, int32_t frames, bool accumulate) {
        record.initialDelay = shape.latencyFrames;
        log->processedWhileSuspended = log->processedWhileSuspended || !resumed;
        log->largestBlock = std::max(log->largestBlock, frames);
        for (int32_t pin = 0; pin < shape.inputs; ++pin) {
            for (int32_t n = 0; n < frames; ++n) {
                float& peak = log->inputPeaks[static_cast<size_t>(pin)];
                peak = std::max(peak, std::fabs(inputs[pin][n]));
            }
        }
        for (int32_t n = 0; n < frames; ++n) {
            std::vector<float> sample(static_cast<size_t>(shape.inputs));
            for (int32_t pin = 0; pin < shape.inputs; ++pin) {
                sample[static_cast<size_t>(pin)] = delayed(pin, inputs[pin][n]);
            }
            if (shape.latencyFrames > 0) {
                position = (position + 1) % static_cast<size_t>(shape.latencyFrames);
            }
            for (int32_t pin = 0; pin < shape.outputs; ++pin) {
                const float value = pin < shape.inputs ? sample[static_cast<size_t>(pin)]
                                    : shape.inputs > 0 ? -sample[0]
                                                       : 0.0f;
                outputs[pin][n] = accumulate ? outputs[pin][n] + value : value;
            }
        }
        for (int32_t pin = 0; shape.scribblesOnInputs && pin < shape.inputs; ++pin) {
            std::fill(inputs[pin], inputs[pin] + frames, 1.0f);
        }
    }

    static void replacingEntry(AEffect* effect, float** inputs, float** outputs, int32_t frames) {
        of(effect).run(inputs, outputs, frames, false);
    }
    static void accumulatingEntry(AEffect* effect, float** inputs, float** outputs, int32_t frames) {
        of(effect).run(inputs, outputs, frames, true);
    }
    /// Stands in for a replacing entry the effect does not announce: a host that calls it gets NaNs.
    static void poisonEntry(AEffect* effect, float**, float** outputs, int32_t frames) {
        for (int32_t pin = 0; pin < of(effect).shape.outputs; ++pin) {
            std::fill(outputs[pin], outputs[pin] + frames, std::numeric_limits<float>::quiet_NaN());
        }
    }
    static void setParameterEntry(AEffect* effect, int32_t index, float value) {
        of(effect).log->parameters.at(static_cast<size_t>(index)) = value;
    }
    static float getParameterEntry(AEffect* effect, int32_t index) {
        return of(effect).log->parameters.at(static_cast<size_t>(index));
    }

    FakeEffectShape shape;
    audioMasterCallback host;
    std::vector<std::vector<float>> delayLines;
    size_t position = 0;
    int32_t program = 0;
    bool resumed = false;
};

}  // namespace

FakeEffectShape& fakeShape() {
    static FakeEffectShape shape;
    return shape;
}

std::vector<std::shared_ptr<FakeEffectLog>>& fakeLogs() {
    static std::vector<std::shared_ptr<FakeEffectLog>> logs;
    return logs;
}

void resetFakes(const FakeEffectShape& shape) {
    fakeShape() = shape;
    fakeLogs().clear();
}

AEffect* fakeEffectEntry(audioMasterCallback host) {
    const intptr_t version = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
    if (version == 0) {
        return nullptr;
    }
    auto* effect = new FakeEffect(fakeShape(), host);
    effect->log->versionAnswer = version;
    fakeLogs().push_back(effect->log);
    return &effect->record;
}
