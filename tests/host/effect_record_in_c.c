/* Compiled as C11 by the build: the wire-format header must serve a host written in C. */
#include "host/effect_record.h"

int32_t tinvoicerRecordIsValid(const AEffect* effect) {
    return effect != NULL && effect->magic == kEffectMagic && effect->uniqueID != 0 &&
           (effect->flags & effFlagsCanReplacing) != 0;
}
