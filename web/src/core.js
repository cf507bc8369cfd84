// The audio core compiled to WebAssembly, for JavaScript: an instance of the module makes voices,
// each one mono channel with its own history. The worklet runs one voice per channel; node runs
// the same voices on files (example/render-wav.mjs). No voice allocates after it is made.

/** Where the package keeps the module, beside src/. (A function: a worklet's scope has no URL.) */
export function tinvoicerWasmUrl() {
  return new URL('../tinvoicer.wasm', import.meta.url);
}

/** The block a voice processes at once unless told otherwise: one render quantum. */
export const RENDER_QUANTUM = 128;

// What the module asks of its host: an exit, which only an internal failure calls (it becomes an
// exception in the caller), and word of grown memory, which the voices notice themselves.
function importsOf() {
  return {
    wasi_snapshot_preview1: {
      proc_exit(code) {
        throw new Error(`tinvoicer: the WebAssembly core stopped (exit ${code})`);
      },
    },
    env: { emscripten_notify_memory_growth() {} },
  };
}

/** Instantiates a compiled module (a WebAssembly.Module) at once, as a worklet must. */
export function instantiateTinvoicer(module) {
  return new TinvoicerCore(new WebAssembly.Instance(module, importsOf()));
}

/** Instantiates a compiled module without blocking, as the main thread should. */
export async function loadTinvoicer(module) {
  return new TinvoicerCore(await WebAssembly.instantiate(module, importsOf()));
}

export class TinvoicerCore {
  constructor(instance) {
    this.exports = instance.exports;
    this.exports._initialize();
  }

  /** A new voice whose blocks hold up to `blockCapacity` samples (1 .. 65536). */
  createVoice(blockCapacity = RENDER_QUANTUM) {
    const handle = this.exports.tinvoicer_create(blockCapacity);
    if (handle === 0) {
      throw new RangeError(`tinvoicer: no voice with a block of ${blockCapacity} samples ` +
        '(1 .. 65536; the module\'s 64 MiB of memory hold some 1600 voices)');
    }
    return new TinvoicerVoice(this.exports, handle, blockCapacity);
  }
}

export class TinvoicerVoice {
  constructor(exports, handle, capacity) {
    this.exports = exports;
    this.handle = handle;
    this.capacity = capacity;
    this.view = null;
  }

  /** The delay of the output in samples. */
  get latency() {
    return this.exports.tinvoicer_latency(this.handle);
  }

  /**
   * Runs `input` (a Float32Array, or undefined for silence) through the robot voice into
   * `output`, which may be the same array; a block longer than the capacity runs as several.
   * Gain in dB, Pitch in semitones, Mix in percent; a Gain or Mix change ramps across the first
   * block, a Pitch change takes effect at the next frame.
   */
  process(input, output, gain, pitch, mix) {
    this.checkLive();
    for (let start = 0; start < output.length; start += this.capacity) {
      const count = Math.min(this.capacity, output.length - start);
      const block = this.block();
      for (let i = 0; i < count; i++) block[i] = input ? input[start + i] : 0;
      this.exports.tinvoicer_process(this.handle, count, gain, pitch, mix);
      for (let i = 0; i < count; i++) output[start + i] = block[i];
    }
  }

  /** Starts the next block from silence. */
  reset() {
    this.checkLive();
    this.exports.tinvoicer_reset(this.handle);
  }

  /** Frees the voice; it cannot be used after. */
  destroy() {
    if (this.handle !== 0) this.exports.tinvoicer_destroy(this.handle);
    this.handle = 0;
    this.view = null;
  }

  checkLive() {
    if (this.handle === 0) throw new Error('tinvoicer: the voice was destroyed');
  }

  // The block as a view of the module's memory, made anew only when the memory grew (which
  // detaches the old buffer).
  block() {
    const buffer = this.exports.memory.buffer;
    if (this.view === null || this.view.buffer !== buffer) {
      this.view = new Float32Array(buffer, this.exports.tinvoicer_block(this.handle), this.capacity);
    }
    return this.view;
  }
}
