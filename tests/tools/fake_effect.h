// An in-process stand-in for an effect module: a plain delay line of a chosen shape that records
// what its host does to it, so host behaviour can be checked sample by sample.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/effect_record.h"

struct FakeEffectShape {
    int32_t inputs = 1;  ///< announced as it is; a negative count is announced, and no pin kept
    int32_t outputs = 1;
    int32_t latencyFrames = 0;  ///< a negative one is announced as such and delays by nothing
    bool canReplacing = true;
    bool answersIndexedProgramNames = true;
    bool announcesLatencyOnceRunning = false;  ///< initialDelay reads 0 until the first block
    bool scribblesOnInputs = false;            ///< writes 1.0 over its inputs once it has read them
};

/// What one fake saw. Outlives the fake, which the host destroys with effClose.
struct FakeEffectLog {
    std::vector<int32_t> opcodes;       ///< every dispatcher call, in order
    std::vector<intptr_t> mainsValues;  ///< the value of each effMainsChanged
    intptr_t versionAnswer = -1;
    intptr_t sampleRateAnswer = -1;  ///< asked when resumed
    intptr_t blockSizeAnswer = -1;
    intptr_t processLevelAnswer = -1;
    float sampleRateHz = 0.0f;
    intptr_t blockFrames = 0;
    std::vector<float> inputPeaks;  ///< largest magnitude seen on each input pin
    int32_t largestBlock = 0;       ///< the most frames of one processing call
    bool processedWhileSuspended = false;
    std::vector<float> parameters;
};

// Output pin o carries input pin o delayed by latencyFrames; output pins beyond the inputs carry
// input 0, delayed and negated. Parameters: " Gain" and "Mix Level"; programs "Soft", "Hard", " Loud".
// The delay is exact, so with compensation a host must give back its input bit for bit.

/// The entry a host calls, like a module's VSTPluginMain; makes a fake of `fakeShape()`'s shape.
AEffect* fakeEffectEntry(audioMasterCallback host);
/// The shape of the next fakes to be made.
FakeEffectShape& fakeShape();
/// Logs of the fakes made so far, oldest first; cleared by resetFakes().
std::vector<std::shared_ptr<FakeEffectLog>>& fakeLogs();
void resetFakes(const FakeEffectShape& shape);
