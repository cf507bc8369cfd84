// libFuzzer target: every input is a session of host calls on the real module (see host_calls.h).
// Built only with clang and -DTINVOICER_FUZZ=ON; scripts/fuzz builds and runs it.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/host_calls.h"
#include "support/test_host.h"

namespace {
std::unique_ptr<LoadedModule> module;
PluginMainProc entry = nullptr;
}  // namespace

// The module is loaded before fuzzing starts, so that its coverage counters are known from the start.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    module = std::make_unique<LoadedModule>();
    entry = module->entry();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    host_calls::run(entry, data, size);
    return 0;
}
