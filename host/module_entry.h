// The module's entry and the one thing it needs from the product: module_entry.cpp exports
// VSTPluginMain (and `main`), which calls createEffect. The host layer defines neither; the module
// target compiles the entry, and the effect that goes into it defines createEffect.
#pragma once

#include "host/effect_base.h"

/// Creates the product's effect for the entry. Returns null when the effect cannot be allocated.
EffectBase* createEffect(audioMasterCallback host) noexcept;
