// What an LV2 host knows of the plug-in beyond its Turtle files: its URI and its ports' indexes,
// which with their symbols never change once released (hosts store them in sessions).
#pragma once

#include <cstdint>

namespace tinvoicer_lv2 {

constexpr const char* kPluginUri = "urn:vexa:tinvoicer";

enum Port : uint32_t {
    kInputPort = 0,    ///< "in", audio
    kOutputPort = 1,   ///< "out", audio; may be the input's buffer
    kGainPort = 2,     ///< "gain", control in dB
    kLatencyPort = 3,  ///< "latency", control output: the delay in samples, written by every run
    kPitchPort = 4,    ///< "pitch", control in semitones from the classic robot
    kMixPort = 5,      ///< "mix", control in percent of robot against voice
};

}  // namespace tinvoicer_lv2
