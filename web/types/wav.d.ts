export interface WavAudio {
  sampleRate: number;
  /** One array per channel, of equal lengths. */
  channels: Float32Array[];
}
/** Reads 16-, 24- and 32-bit integer and 32-bit float WAV files; throws an Error saying what is wrong. */
export function decodeWav(bytes: ArrayBuffer | ArrayBufferView): WavAudio;
/** The sample rate a WAV file states, or null. */
export function wavSampleRate(bytes: ArrayBuffer | ArrayBufferView): number | null;
/** A 32-bit float WAV file. */
export function encodeWav(audio: WavAudio): Uint8Array;
