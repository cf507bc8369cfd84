#!/usr/bin/env node
// Renders a WAV file through the robot voice in node, one voice per channel, in blocks of one
// render quantum (128 samples) as the browser's worklet runs it. The result is a 32-bit float WAV
// file that lines up with the input, unless --no-latency-compensation keeps the voice's delay.
//
//   node render-wav.mjs IN.wav OUT.wav [--gain DB] [--pitch SEMITONES] [--mix PERCENT]
//                                      [--no-latency-compensation]
import { readFile, writeFile } from 'node:fs/promises';
import { basename } from 'node:path';
import { instantiateTinvoicer, tinvoicerWasmUrl } from 'tinvoicer/core';
import { decodeWav, encodeWav } from 'tinvoicer/wav';

const usage = `usage: ${basename(process.argv[1])} IN.wav OUT.wav [--gain DB] [--pitch SEMITONES] [--mix PERCENT] [--no-latency-compensation]`;

function parse(args) {
  const options = { files: [], settings: { gain: 0, pitch: 0, mix: 100 }, compensate: true };
  for (let i = 0; i < args.length; i++) {
    const name = args[i].replace(/^--/, '');
    if (args[i] === '--no-latency-compensation') {
      options.compensate = false;
    } else if (args[i].startsWith('--') && name in options.settings) {
      const value = Number(args[++i]);
      if (args[i] === undefined || !Number.isFinite(value)) throw new Error(`--${name} takes a number`);
      options.settings[name] = value;
    } else if (args[i].startsWith('-')) {
      throw new Error(`unknown option ${args[i]}`);
    } else {
      options.files.push(args[i]);
    }
  }
  if (options.files.length !== 2) throw new Error('an input and an output file are named');
  return options;
}

function render(core, channels, { gain, pitch, mix }, compensate) {
  return channels.map((samples) => {
    const voice = core.createVoice();
    const latency = voice.latency;
    const padded = new Float32Array(samples.length + latency);  // the input, then the tail
    padded.set(samples);
    voice.process(padded, padded, gain, pitch, mix);
    voice.destroy();
    return compensate ? padded.subarray(latency) : padded;
  });
}

async function main() {
  const { files: [input, output], settings, compensate } = parse(process.argv.slice(2));
  const core = instantiateTinvoicer(await WebAssembly.compile(await readFile(tinvoicerWasmUrl())));
  let wav;
  try {
    wav = decodeWav(await readFile(input));
  } catch (error) {
    throw new Error(`${input}: ${error.message}`);
  }
  const rendered = render(core, wav.channels, settings, compensate);
  await writeFile(output, encodeWav({ sampleRate: wav.sampleRate, channels: rendered }));
}

main().catch((error) => {
  console.error(`${basename(process.argv[1])}: ${error.message}\n${usage}`);
  process.exitCode = 1;
});
