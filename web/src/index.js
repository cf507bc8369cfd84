// Tinvoicer for Web Audio: the robot voice as an AudioWorkletNode.
//
//   await addTinvoicerModule(context);
//   const robot = createTinvoicerNode(context, { gain: 0, pitch: -12, mix: 100 });
//   microphone.connect(robot).connect(context.destination);
//
// The WebAssembly module is fetched and compiled once on the main thread and handed to each
// node's processor, which instantiates it in the audio thread.
import { loadTinvoicer, tinvoicerWasmUrl } from './core.js';
import { TINVOICER_PARAMETERS, TINVOICER_PRESETS, TINVOICER_PROCESSOR } from './parameters.js';
import { decodeWav, encodeWav, wavSampleRate } from './wav.js';

export { TINVOICER_PARAMETERS, TINVOICER_PRESETS, decodeWav, encodeWav, wavSampleRate };

const compiled = new Map();  // module address -> Promise of { module, latency }
const ready = new WeakMap();  // context -> { module, latency }

async function compile(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`tinvoicer: ${url}: ${response.status} ${response.statusText}`);
  const module = await WebAssembly.compile(await response.arrayBuffer());
  // One voice on this thread, to learn the delay from the core itself.
  const voice = (await loadTinvoicer(module)).createVoice(1);
  const latency = voice.latency;
  voice.destroy();
  return { module, latency };
}

/**
 * Loads the processor into `context` (an AudioContext or OfflineAudioContext) and compiles the
 * WebAssembly module, from `wasmUrl` (default: the package's own tinvoicer.wasm).
 */
export async function addTinvoicerModule(context, { wasmUrl } = {}) {
  const wasm = await compiledFrom(wasmUrl);
  await context.audioWorklet.addModule(new URL('./processor.js', import.meta.url));
  ready.set(context, wasm);
}

function compiledFrom(wasmUrl = tinvoicerWasmUrl()) {
  const key = String(wasmUrl);
  if (!compiled.has(key)) {
    compiled.set(key, compile(key));
    compiled.get(key).catch(() => compiled.delete(key));  // a failed fetch may be tried again
  }
  return compiled.get(key);
}

/**
 * A robot voice node with `channels` inputs and outputs (default 1; other counts are mixed to
 * it). Its AudioParams gain (dB), pitch (semitones) and mix (%) start at the given values or
 * their defaults; its `latency` is the delay of its output in samples.
 */
export function createTinvoicerNode(context, { gain, pitch, mix, channels = 1 } = {}) {
  const wasm = ready.get(context);
  if (!wasm) throw new Error('tinvoicer: await addTinvoicerModule(context) before createTinvoicerNode(context)');
  const parameterData = {};
  for (const [name, value] of Object.entries({ gain, pitch, mix })) {
    if (value !== undefined) parameterData[name] = Number(value);
  }
  const node = new AudioWorkletNode(context, TINVOICER_PROCESSOR, {
    numberOfInputs: 1,
    numberOfOutputs: 1,
    channelCount: channels,
    channelCountMode: 'explicit',
    channelInterpretation: 'speakers',
    outputChannelCount: [channels],
    parameterData,
    processorOptions: { module: wasm.module },
  });
  Object.defineProperty(node, 'latency', { value: wasm.latency, enumerable: true });
  return node;
}

/**
 * Renders an AudioBuffer through the robot voice offline at its own sample rate. With
 * `compensateLatency` (the default) the result lines up with the input and has its length;
 * without, it is the node's output as it comes, `latency` samples late and as much longer,
 * ending with the voice's tail.
 */
export async function renderTinvoicerOffline(buffer, settings = {}, { compensateLatency = true, wasmUrl } = {}) {
  const { numberOfChannels, length, sampleRate } = buffer;
  const { latency } = await compiledFrom(wasmUrl);
  const skip = compensateLatency ? latency : 0;
  const context = new OfflineAudioContext(numberOfChannels, length + latency, sampleRate);
  await addTinvoicerModule(context, { wasmUrl });
  const source = new AudioBufferSourceNode(context, { buffer });
  source.connect(createTinvoicerNode(context, { ...settings, channels: numberOfChannels })).connect(context.destination);
  source.start();
  const rendered = await context.startRendering();
  if (skip === 0) return rendered;
  const result = new AudioBuffer({ numberOfChannels, length, sampleRate });
  for (let channel = 0; channel < numberOfChannels; channel++) {
    result.copyToChannel(rendered.getChannelData(channel).subarray(skip), channel);
  }
  return result;
}

/** A 32-bit float WAV file of an AudioBuffer, as bytes. */
export function audioBufferToWav(buffer) {
  const channels = Array.from({ length: buffer.numberOfChannels }, (_, c) => buffer.getChannelData(c));
  return encodeWav({ sampleRate: buffer.sampleRate, channels });
}
