export { decodeWav, encodeWav, wavSampleRate } from './wav.js';
export type { WavAudio } from './wav.js';

export interface TinvoicerParameter {
  readonly name: 'gain' | 'pitch' | 'mix';
  readonly unit: string;
  readonly minValue: number;
  readonly maxValue: number;
  readonly defaultValue: number;
}
/** Gain in dB (-20..20, 0), Pitch in semitones (-24..12, 0), Mix in percent (0..100, 100). */
export const TINVOICER_PARAMETERS: readonly TinvoicerParameter[];

export interface TinvoicerSettings {
  gain?: number;
  pitch?: number;
  mix?: number;
}
export interface TinvoicerPreset extends Required<TinvoicerSettings> {
  readonly name: string;
}
/** Classic robot, Deep robot, Small robot, Half robot. */
export const TINVOICER_PRESETS: readonly TinvoicerPreset[];

export interface TinvoicerModuleOptions {
  /** Where tinvoicer.wasm is served from; default: beside the package's src/. */
  wasmUrl?: string | URL;
}

/** The robot voice node: AudioParams gain, pitch and mix, and its delay in samples. */
export interface TinvoicerNode extends AudioWorkletNode {
  readonly latency: number;
}

/** Compiles the WebAssembly module and loads the processor into the context. */
export function addTinvoicerModule(context: BaseAudioContext, options?: TinvoicerModuleOptions): Promise<void>;

/** A robot voice node with `channels` inputs and outputs (default 1). */
export function createTinvoicerNode(context: BaseAudioContext, options?: TinvoicerSettings & { channels?: number }): TinvoicerNode;

/** Renders a buffer offline at its own rate; lined up with the input unless compensateLatency is false. */
export function renderTinvoicerOffline(
  buffer: AudioBuffer,
  settings?: TinvoicerSettings,
  options?: TinvoicerModuleOptions & { compensateLatency?: boolean },
): Promise<AudioBuffer>;

/** A 32-bit float WAV file of an AudioBuffer. */
export function audioBufferToWav(buffer: AudioBuffer): Uint8Array;
