// The module's exported entry: what a host calls first, under either of the two names hosts use.
// Only the module links this file; test programs reach the entry through the dynamic loader,
// since a program linked with a function named `main` would start inside it.
#include "host/module_entry.h"

#if defined(_WIN32)
// host/module_exports.def lists the exports. dllexport is left out: on 32-bit Windows it would
// ask the linker for the assembler label below with a second underscore, and the link fails.
#define TINVOICER_EXPORT
#else
#define TINVOICER_EXPORT __attribute__((visibility("default")))
#endif

// A C++ function may not be called `main`, so the classic name is an alias of VSTPluginMain given
// as an assembler label, with the platform's prefix for C symbols (an underscore on 32-bit
// Windows, none elsewhere). Both names lead to the one function.
#define TINVOICER_STRINGIFY2(x) #x
#define TINVOICER_STRINGIFY(x) TINVOICER_STRINGIFY2(x)
#define TINVOICER_C_SYMBOL(name) TINVOICER_STRINGIFY(__USER_LABEL_PREFIX__) name

extern "C" {
TINVOICER_EXPORT AEffect* VSTPluginMain(audioMasterCallback host);
TINVOICER_EXPORT AEffect* pluginMainUnderClassicName(audioMasterCallback host) __asm__(TINVOICER_C_SYMBOL("main"))
    __attribute__((alias("VSTPluginMain")));
}

/// Asks the host for its interface version and, unless it answers 0, creates one new effect.
/// Returns the effect's record, or null: no host callback, version 0, or no memory.
AEffect* VSTPluginMain(audioMasterCallback host) {
    if (host == nullptr) {
        return nullptr;
    }
    try {
        if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
            return nullptr;
        }
        EffectBase* effect = createEffect(host);
        return effect != nullptr ? effect->record() : nullptr;
    } catch (...) {
        return nullptr;
    }
}
