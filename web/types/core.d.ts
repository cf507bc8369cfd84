/** The package's own tinvoicer.wasm. */
export function tinvoicerWasmUrl(): URL;
/** The block a voice processes at once unless told otherwise: one render quantum. */
export const RENDER_QUANTUM: 128;
/** Instantiates a compiled module at once (as a worklet must). */
export function instantiateTinvoicer(module: WebAssembly.Module): TinvoicerCore;
/** Instantiates a compiled module without blocking. */
export function loadTinvoicer(module: WebAssembly.Module): Promise<TinvoicerCore>;

export class TinvoicerCore {
  /** A new mono voice; throws a RangeError when the capacity is outside 1..65536 or memory runs out. */
  createVoice(blockCapacity?: number): TinvoicerVoice;
}

export class TinvoicerVoice {
  /** The delay of the output in samples (1024). */
  readonly latency: number;
  readonly capacity: number;
  /**
   * Runs `input` (undefined for silence) into `output`, which may be the same array. Gain in dB
   * (-20..20), Pitch in semitones (-24..12), Mix in percent (0..100).
   */
  process(input: Float32Array | undefined, output: Float32Array, gain: number, pitch: number, mix: number): void;
  /** Starts the next block from silence. */
  reset(): void;
  /** Frees the voice. */
  destroy(): void;
}
