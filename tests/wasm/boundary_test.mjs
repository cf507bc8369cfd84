// Hostile calls on the WebAssembly module's C boundary and the package's voices: none traps or lets
// a C++ exception out. Run by ctest as `node --test boundary_test.mjs`, TINVOICER_SITE naming the site.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';

const site = process.env.TINVOICER_SITE;
const { instantiateTinvoicer } = await import(`${site}/src/core.js`);
const module = new WebAssembly.Module(readFileSync(`${site}/tinvoicer.wasm`));
const signal = Float32Array.from({ length: 8192 }, (_, n) => 0.3 * Math.sin(n * 0.031));
const robot = (voice) => { const out = new Float32Array(signal.length); voice.process(signal, out, 0, -12, 60); return out; };
const reference = robot(instantiateTinvoicer(module).createVoice());

// The memory filled with voices: the last one fails with an error that says so, a voice made before
// (whose view of the memory the growth detached) still sounds right, and freed memory is used again.
function exhaust(core) {
  const first = core.createVoice(65536);
  robot(first);
  const made = [];
  assert.throws(() => { while (made.length < 1000) made.push(core.createVoice(65536)); }, /no voice with a block of 65536/);
  made.pop().destroy();
  first.reset();
  return [made.length >= 15, robot(first), robot(core.createVoice(65536))];
}

const rows = [  // the calls, on a new instance, and their answers
  ['a null voice', ({ exports: c }) => [c.tinvoicer_process(0, 128, 0, 0, 100), c.tinvoicer_reset(0), c.tinvoicer_destroy(0),
    c.tinvoicer_latency(0), c.tinvoicer_block(0)], [undefined, undefined, undefined, 0, 0]],
  ['a block of 0, -1 or 65537 samples', ({ exports: c }) => [0, -1, 65537].map((n) => c.tinvoicer_create(n)), [0, 0, 0]],
  ['a count above the capacity or below 1', ({ exports: c }) =>
    [0x7fffffff, -5].map((count) => c.tinvoicer_process(c.tinvoicer_create(128), count, 0, 0, 100)), [undefined, undefined]],
  ['running out of memory', exhaust, [true, reference, reference]],
];
for (const [name, call, answer] of rows) test(name, () => assert.deepEqual(call(instantiateTinvoicer(module)), answer));
