#include "support/recording_host.h"

namespace {
thread_local RecordingHost* currentHost = nullptr;
}

RecordingHost::RecordingHost() { currentHost = this; }

RecordingHost::~RecordingHost() {
    if (currentHost == this) {
        currentHost = nullptr;
    }
}

intptr_t RecordingHost::callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    RecordingHost* host = currentHost;
    if (host == nullptr) {
        return opcode == audioMasterVersion ? 2400 : 0;
    }
    const HostRequest request{effect, opcode, index, value, ptr, opt};
    host->requests.push_back(request);
    if (opcode == audioMasterVersion && effect == nullptr) {
        return host->versionAnswer;
    }
    return host->answer ? host->answer(request) : 0;
}
