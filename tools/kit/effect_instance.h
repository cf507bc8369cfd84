// One effect made by a module's entry and driven through its record, as a host drives it.
#pragma once

#include <cstdint>
#include <string>

#include "host/effect_record.h"

/// Opened on construction and closed on destruction. Every call into the module is marked with a
/// ModuleCall (crash_guard.h), so a crash inside it is reported naming the module and the step. Lifecycle: prepare(),
/// then resume(), process() any number of times, suspend(); parameters and programs may change at any time outside
/// process(). Not thread-safe: the effect's entries are called on the caller's thread.
class EffectInstance {
public:
    /// How the host callback presents the tool to effects: its process level (offline or
    /// real-time) and its product name. One role for every instance of a process.
    enum class HostRole { offlineRenderer, liveClient };

    /// Calls the entry with this tool's host callback, checks the record and opens the effect.
    /// Throws ToolError naming `modulePath` when the entry returns null, the magic is wrong, the
    /// record lacks a dispatcher or a processing entry, or the effect has no outputs.
    EffectInstance(PluginMainProc entry, const std::string& modulePath, HostRole role = HostRole::offlineRenderer);
    ~EffectInstance();
    EffectInstance(const EffectInstance&) = delete;
    EffectInstance& operator=(const EffectInstance&) = delete;

    /// Sends the sample rate and the largest block that process() will be given. The host
    /// callback answers the effect's own rate and block-size queries with the same values.
    void prepare(float sampleRateHz, int32_t maxBlockFrames);
    void resume();
    void suspend();

    /// One block: processReplacing, or, for an effect without effFlagsCanReplacing, the
    /// accumulating process entry onto outputs this call zeroes first. `inputs` holds
    /// inputCount() buffers and `outputs` outputCount(), each of at least `frames` samples.
    void process(float** inputs, float** outputs, int32_t frames);

    int32_t inputCount() const { return record->numInputs; }
    int32_t outputCount() const { return record->numOutputs; }
    int32_t programCount() const { return record->numPrograms; }
    int32_t parameterCount() const { return record->numParams; }
    /// initialDelay: read afresh each time, since effects may change it when resumed.
    int32_t latencyFrames() const { return record->initialDelay; }
    int32_t flags() const { return record->flags; }
    int32_t uniqueId() const { return record->uniqueID; }
    bool usesReplacing() const;

    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);
    /// The text a text opcode writes, into a zeroed buffer far larger than any effect should use.
    std::string text(int32_t opcode, int32_t index = 0);

    float parameter(int32_t index) const;
    void setParameter(int32_t index, float normalizedValue);
    int32_t currentProgram() { return static_cast<int32_t>(dispatch(effGetProgram)); }
    void selectProgram(int32_t index) { dispatch(effSetProgram, 0, index); }
    /// Name of program `index`: asked for by index where the effect answers that, otherwise read
    /// by selecting the program and selecting the current one again.
    std::string programName(int32_t index);

private:
    std::string modulePath;  ///< named when a call into the module crashes
    AEffect* record;
    bool running = false;
};

/// initialDelay as a host can honour it: a negative delay, which cannot be, counts as 0.
inline int32_t usableLatency(int32_t reportedFrames) { return reportedFrames < 0 ? 0 : reportedFrames; }

/// The warning for an initialDelay that usableLatency() had to change.
std::string negativeLatencyWarning(int32_t reportedFrames);
