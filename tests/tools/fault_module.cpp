// VST 2 modules that fail in the ways a host must survive, one fault per build (FAULT_...).
// Faults are raised as signals rather than made by bad memory accesses, which a compiler may remove.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "host/effect_record.h"

namespace {

intptr_t acceptEveryOpcode(AEffect*, int32_t opcode, int32_t, intptr_t value, void*, float) {
#if defined(FAULT_CRASH_IN_DISPATCHER)
    if (opcode == effMainsChanged && value == 1) {
        std::raise(SIGFPE);
    }
#else
    (void)opcode;
    (void)value;
#endif
    return 0;
}

#if defined(FAULT_RAISE_IN_PROCESS) || defined(FAULT_NEGATIVE_DELAY)
/// Passes its input through, and raises the signal numbered in TINVOICER_FAULT_SIGNAL, if any,
/// after a few blocks: a signal that arrives in the middle of a render, at a known moment.
void crashWhileProcessing(AEffect*, float** inputs, float** outputs, int32_t frames) {
    static int blocks = 0;
    const char* signalNumber = std::getenv("TINVOICER_FAULT_SIGNAL");
    if (signalNumber != nullptr && ++blocks == 4) {
        std::raise(std::atoi(signalNumber));
    }
    std::copy(inputs[0], inputs[0] + frames, outputs[0]);
}
#elif defined(FAULT_HANG_IN_PROCESS)
/// Never returns, as an effect that waits for a lock it will never get.
void crashWhileProcessing(AEffect*, float**, float**, int32_t) {
    for (;;) {
        ::pause();
    }
}
#else
void crashWhileProcessing(AEffect*, float**, float**, int32_t) { std::raise(SIGSEGV); }
#endif
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
#elif defined(FAULT_CRASH_IN_MAIN)
    std::abort();
#elif defined(FAULT_NEGATIVE_DELAY)
    record.initialDelay = -5;
    return &record;
#elif defined(FAULT_CRASH_IN_PROCESS) || defined(FAULT_CRASH_IN_DISPATCHER) || defined(FAULT_RAISE_IN_PROCESS) || \
    defined(FAULT_HANG_IN_PROCESS)
    return &record;
#else
#error "choose a fault"
#endif
}
#else
extern "C" __attribute__((visibility("default"))) AEffect* notAnEntry() { return &record; }
#endif
