// VST 2 modules that fail in the ways a host must survive, one fault per build (FAULT_...).
#include <csignal>

#include "host/effect_record.h"

namespace {

intptr_t acceptEveryOpcode(AEffect*, int32_t, int32_t, intptr_t, void*, float) { return 0; }
void crashWhileProcessing(AEffect*, float**, float**, int32_t) { std::raise(SIGSEGV); }
void ignoreParameter(AEffect*, int32_t, float) {}
float zeroParameter(AEffect*, int32_t) { return 0.0f; }

AEffect makeRecord() {
    AEffect record{};
    record.magic = kEffectMagic;
    record.dispatcher = acceptEveryOpcode;
    record.setParameter = ignoreParameter;
    record.getParameter = zeroParameter;
    record.processReplacing = crashWhileProcessing;
    record.numInputs = 1;
    record.numOutputs = 1;
    record.flags = effFlagsCanReplacing;
    return record;
}

AEffect record = makeRecord();

}  // namespace

#if !defined(FAULT_NO_ENTRY)
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) {
#if defined(FAULT_NULL_RECORD)
    return nullptr;
#elif defined(FAULT_WRONG_MAGIC)
    record.magic = fourCharCode('N', 'o', 'p', 'e');
    return &record;
#elif defined(FAULT_NO_OUTPUTS)
    record.numOutputs = 0;
    return &record;
#elif defined(FAULT_CRASH_IN_PROCESS)
    return &record;
#else
#error "choose a fault"
#endif
}
#else
extern "C" __attribute__((visibility("default"))) AEffect* notAnEntry() { return &record; }
#endif
