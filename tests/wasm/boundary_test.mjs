// The WebAssembly module's C boundary and the package's voices, as a hostile caller uses them:
// no call traps, no exception crosses from C++, a voice that cannot be made is an error that says
// so, and hostile control values act as their clamped ones. Run by ctest as
// `node --test boundary_test.mjs` with TINVOICER_SITE naming the built site.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';
import { pathToFileURL } from 'node:url';

const site = process.env.TINVOICER_SITE;
const { instantiateTinvoicer } = await import(pathToFileURL(join(site, 'src/core.js')));
const module = new WebAssembly.Module(readFileSync(join(site, 'tinvoicer.wasm')));

// Half a second of a buzzy vowel-like signal, the same every run.
const signal = Float32Array.from({ length: 22050 }, (_, n) => 0.3 * Math.sin(n * 0.031) * Math.sign(Math.sin(n * 0.0071)));

function robot(voice, controls, blocks = 1) {
  const out = new Float32Array(signal.length);
  const step = Math.ceil(signal.length / blocks);
  for (let start = 0; start < signal.length; start += step) {
    voice.process(signal.subarray(start, start + step), out.subarray(start, start + step), ...controls);
  }
  return out;
}

test('hostile control values sound as their clamped ones', () => {
  const core = instantiateTinvoicer(module);
  const cases = [
    [[NaN, 0, 100], [0, 0, 100]],
    [[1e30, 0, 100], [20, 0, 100]],
    [[-Infinity, -Infinity, 100], [-20, -24, 100]],
    [[0, 99, NaN], [0, 12, 100]],
    [[0, NaN, -5], [0, 0, 0]],
  ];
  for (const [hostile, clamped] of cases) {
    assert.deepEqual(robot(core.createVoice(), hostile), robot(core.createVoice(), clamped), `${hostile} as ${clamped}`);
  }
});

test('the C calls take a null voice and an oversized count without trapping', () => {
  const { exports } = instantiateTinvoicer(module);
  exports.tinvoicer_process(0, 128, 0, 0, 100);
  exports.tinvoicer_reset(0);
  exports.tinvoicer_destroy(0);
  assert.equal(exports.tinvoicer_latency(0), 0);
  assert.equal(exports.tinvoicer_block(0), 0);
  for (const capacity of [0, -1, 65537]) assert.equal(exports.tinvoicer_create(capacity), 0, `capacity ${capacity}`);
  const voice = exports.tinvoicer_create(128);
  assert.equal(exports.tinvoicer_latency(voice), 1024);
  exports.tinvoicer_process(voice, 0x7fffffff, 0, 0, 100);  // runs the 128 samples it has
  exports.tinvoicer_process(voice, -5, 0, 0, 100);
  exports.tinvoicer_destroy(voice);
});

test('running out of memory is an error that says so, and memory freed is used again', () => {
  const core = instantiateTinvoicer(module);
  const voices = [];
  assert.throws(() => { for (;;) voices.push(core.createVoice(65536)); }, RangeError);
  assert.ok(voices.length >= 16, `only ${voices.length} voices of 65536 samples fit`);
  const reference = robot(instantiateTinvoicer(module).createVoice(), [0, -12, 60]);
  assert.deepEqual(robot(voices[0], [0, -12, 60], 7), reference, 'a voice made before the limit still sounds right');
  voices.pop().destroy();
  assert.deepEqual(robot(core.createVoice(65536), [0, -12, 60], 3), reference, 'after a voice is freed another one fits');
});

test('a reset voice sounds as a new one, and a destroyed one refuses to run', () => {
  const core = instantiateTinvoicer(module);
  const voice = core.createVoice();
  const first = robot(voice, [3, 5, 80]);
  voice.reset();
  assert.deepEqual(robot(voice, [3, 5, 80]), first);
  voice.destroy();
  assert.throws(() => robot(voice, [0, 0, 100]), /destroyed/);
});
