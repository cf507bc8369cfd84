/* The browser edition's C boundary: the audio core as a WebAssembly module exports it. One voice
 * is one mono channel: a core and the block that carries its audio in and out, so that a caller
 * (JavaScript) passes no pointer but the voice's own. No C++ exception crosses these calls: a
 * voice that cannot be made is a null one, and every call takes a null voice as a no-op. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TinvoicerVoice TinvoicerVoice;

/* A voice whose block holds up to `blockCapacity` samples (1 .. 65536), or null when the capacity
 * is out of that range or memory runs out. */
TinvoicerVoice* tinvoicer_create(int32_t blockCapacity);
/* Frees the voice; null is ignored. */
void tinvoicer_destroy(TinvoicerVoice* voice);
/* The block: `blockCapacity` samples, where the caller writes the input and reads the output. */
float* tinvoicer_block(TinvoicerVoice* voice);
/* Runs the first `count` samples of the block through the robot voice in place, `count` clamped
 * to 0 .. the capacity. Gain in dB, Pitch in semitones, Mix in percent: each is clamped to its
 * range, NaN gives its default. Gain and Mix ramp from the last call's values across this block;
 * a Pitch change takes effect at the next frame. */
void tinvoicer_process(TinvoicerVoice* voice, int32_t count, float gainDb, float pitchSemitones, float mixPercent);
/* Starts the next block from silence. */
void tinvoicer_reset(TinvoicerVoice* voice);
/* The delay of the output in samples (1024), or 0 for a null voice. */
int32_t tinvoicer_latency(const TinvoicerVoice* voice);

#ifdef __cplusplus
}
#endif
