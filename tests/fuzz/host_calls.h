// Turns a string of bytes into a session of host calls on the real module: the host's version
// answer, then dispatcher opcodes with any index, value, opt and pointer (none, a text buffer of a
// size hosts use, or a zeroed record), parameter writes and reads, and blocks of audio through
// both processing entries. Shared by the libFuzzer target and the replay of the kept inputs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/effect_record.h"

namespace host_calls {

/// Runs the session that `data` describes against effects made by `entry`. Returns normally
/// unless the effect misbehaves in a way the sanitizers cannot see (a write into a block of zero
/// samples), which aborts.
void run(PluginMainProc entry, const uint8_t* data, std::size_t size);

}  // namespace host_calls
