// A host for tests of the LV2 edition: loads the built shared object with the dynamic loader and
// drives one instance through the descriptor's C entries, as an LV2 host does.
#pragma once

#include <lv2/core/lv2.h>

#include <cstdint>
#include <vector>

#include "support/test_host.h"

/// The bundle's shared object, open for the object's lifetime.
class Lv2Module {
public:
    Lv2Module() : library(TINVOICER_LV2_MODULE_PATH) {}
    /// lv2_descriptor(index) of the shared object.
    const LV2_Descriptor* descriptor(uint32_t index = 0) const;
    const LoadedModule& file() const { return library; }

private:
    LoadedModule library;
};

/// One instance with its control ports connected to fields of this object (the Gain at `gainDb`,
/// the Pitch at `pitch`, the Mix at `mix`), activated; deactivated and cleaned up when destroyed.
class Lv2Instance {
public:
    explicit Lv2Instance(const Lv2Module& module, double sampleRateHz = 48000.0);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    /// Connects the audio ports to `in` and `out` (they may be one buffer; null leaves a port
    /// unconnected) and runs one block.
    void run(const float* in, float* out, uint32_t frames);
    /// deactivate, then activate: what a host does to restart the stream.
    void restart();

    float gainDb = 0.0f;
    float latency = -1.0f;
    float pitch = 0.0f;
    float mix = 100.0f;

private:
    const LV2_Descriptor* descriptor;
    LV2_Handle handle;
};

/// `input` through a fresh instance at `gainDb` (and `pitch`, `mix`), in blocks of the sizes
/// given, taken in turn (a size of 0 is a run of no samples); `inPlace` hands one buffer as input
/// and output.
std::vector<float> renderLv2(const Lv2Module& module, const std::vector<float>& input, float gainDb,
                             const std::vector<uint32_t>& blockSizes = {512}, bool inPlace = false, float pitch = 0.0f,
                             float mix = 100.0f);
