// The browser edition's speed: the WebAssembly core fed as the worklet feeds it (blocks of 128
// samples, the classic settings, the signal of bench/web_speed.cpp). timeBlocks runs as it is in
// node and, as source text, in a page (scripts/bench-web).
// Usage: node bench/web_speed.mjs SITE SECONDS [WASM]   Prints the nanoseconds per sample of the
// site's core (or of another build's module, WASM) on SECONDS of audio.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

/** Nanoseconds per sample of `voice` on `seconds` of 48 kHz audio; self-contained. */
export function timeBlocks(voice, seconds) {
  const signalSamples = 48000;
  const block = 128;
  const signal = new Float32Array(signalSamples);
  // A tone over a faint noise floor, as bench/web_speed.cpp makes it.
  for (let n = 0, state = 1; n < signalSamples; n++) {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    signal[n] = 0.3 * Math.sin(n * 0.031) + 0.001 * (state / 4294967296 - 0.5);
  }
  const out = new Float32Array(block);
  const run = (blocks) => {
    for (let i = 0; i < blocks; i++) {
      const at = (i * block) % (signalSamples - block);
      voice.process(signal.subarray(at, at + block), out, 0, 0, 100);
    }
  };
  // The engines first run WebAssembly from a quick baseline compile and swap in optimised code
  // once it is hot (node some 2000 blocks in, Chromium later): untimed runs of 500 blocks until
  // three in a row are no faster than the fastest yet.
  let fastest = Infinity;
  for (let chunk = 0, calm = 0; chunk < 200 && calm < 3; chunk++) {
    const start = performance.now();
    run(500);
    const took = performance.now() - start;
    calm = took < 0.97 * fastest ? 0 : calm + 1;
    fastest = Math.min(fastest, took);
  }
  const blocks = Math.floor((seconds * signalSamples) / block);
  const start = performance.now();
  run(blocks);
  return ((performance.now() - start) * 1e6) / (blocks * block);
}

if (import.meta.url === pathToFileURL(process.argv[1]).href) {
  const [site, seconds, wasm = join(site, 'tinvoicer.wasm')] = process.argv.slice(2);
  const { instantiateTinvoicer } = await import(pathToFileURL(join(site, 'src/core.js')));
  const voice = instantiateTinvoicer(new WebAssembly.Module(readFileSync(wasm))).createVoice();
  console.log(timeBlocks(voice, Number(seconds)).toFixed(3));
}
