// A host callback that records every request an effect sends, for tests of effects made in-process
// and of the real module alike.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/effect_record.h"

/// One request the effect sent through the host callback.
struct HostRequest {
    AEffect* effect;
    int32_t opcode;
    int32_t index;
    intptr_t value;
    void* ptr;
    float opt;
};

/// The callback's state. Requests go to the host that is current on the calling thread.
class RecordingHost {
public:
    RecordingHost();
    ~RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    static intptr_t callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    std::vector<HostRequest> requests;
    intptr_t versionAnswer = 2400;
    /// Answers every request but the version query when set; 0 otherwise.
    std::function<intptr_t(const HostRequest&)> answer;
};
