// Compiled (never run) by scripts/check-platforms with each configuration's own compiler and flags,
// independently of the header's own checks: it states which pointer width the configuration was
// meant to have and the effect record's exact size and field offsets for that width.
// Build with -DTINVOICER_POINTER_BYTES=4 or 8 and -I<source root>.
#include <cstddef>

#include "host/effect_record.h"

#ifndef TINVOICER_POINTER_BYTES
#error "define TINVOICER_POINTER_BYTES (4 or 8)"
#endif

static_assert(sizeof(void*) == TINVOICER_POINTER_BYTES, "the compiler builds for the expected pointer width");

#if TINVOICER_POINTER_BYTES == 4
// The classic layout: every field but the reserved tail is 4 bytes, no gaps.
static_assert(sizeof(AEffect) == 144, "record size");
static_assert(offsetof(AEffect, magic) == 0, "magic");
static_assert(offsetof(AEffect, dispatcher) == 4, "dispatcher");
static_assert(offsetof(AEffect, process) == 8, "process");
static_assert(offsetof(AEffect, setParameter) == 12, "setParameter");
static_assert(offsetof(AEffect, getParameter) == 16, "getParameter");
static_assert(offsetof(AEffect, numPrograms) == 20, "numPrograms");
static_assert(offsetof(AEffect, numParams) == 24, "numParams");
static_assert(offsetof(AEffect, numInputs) == 28, "numInputs");
static_assert(offsetof(AEffect, numOutputs) == 32, "numOutputs");
static_assert(offsetof(AEffect, flags) == 36, "flags");
static_assert(offsetof(AEffect, resvd1) == 40, "resvd1");
static_assert(offsetof(AEffect, resvd2) == 44, "resvd2");
static_assert(offsetof(AEffect, initialDelay) == 48, "initialDelay");
static_assert(offsetof(AEffect, realQualities) == 52, "realQualities");
static_assert(offsetof(AEffect, offQualities) == 56, "offQualities");
static_assert(offsetof(AEffect, ioRatio) == 60, "ioRatio");
static_assert(offsetof(AEffect, object) == 64, "object");
static_assert(offsetof(AEffect, user) == 68, "user");
static_assert(offsetof(AEffect, uniqueID) == 72, "uniqueID");
static_assert(offsetof(AEffect, version) == 76, "version");
static_assert(offsetof(AEffect, processReplacing) == 80, "processReplacing");
static_assert(offsetof(AEffect, future) == 84, "future");
static_assert(sizeof(AEffect::future) == 60, "future's size");
#elif TINVOICER_POINTER_BYTES == 8
// The natural-alignment layout of 64-bit hosts, Linux and Windows alike: pointers and the two
// reserved fields are 8 bytes (on 64-bit Windows `long` would be 4 and shift everything after).
static_assert(sizeof(AEffect) == 192, "record size");
static_assert(offsetof(AEffect, dispatcher) == 8, "dispatcher");
static_assert(offsetof(AEffect, getParameter) == 32, "getParameter");
static_assert(offsetof(AEffect, numPrograms) == 40, "numPrograms");
static_assert(offsetof(AEffect, flags) == 56, "flags");
static_assert(offsetof(AEffect, resvd1) == 64, "resvd1");
static_assert(offsetof(AEffect, resvd2) == 72, "resvd2");
static_assert(offsetof(AEffect, initialDelay) == 80, "initialDelay");
static_assert(offsetof(AEffect, ioRatio) == 92, "ioRatio");
static_assert(offsetof(AEffect, object) == 96, "object");
static_assert(offsetof(AEffect, user) == 104, "user");
static_assert(offsetof(AEffect, uniqueID) == 112, "uniqueID");
static_assert(offsetof(AEffect, version) == 116, "version");
static_assert(offsetof(AEffect, processReplacing) == 120, "processReplacing");
static_assert(offsetof(AEffect, future) == 128, "future");
#else
#error "unexpected TINVOICER_POINTER_BYTES"
#endif
