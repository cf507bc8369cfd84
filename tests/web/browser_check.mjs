// Drives Debian's Chromium, headless, with puppeteer-core (installed by npm from this folder's
// package-lock.json into --modules), through the browser edition's page: for scripts/check-browser,
// which judges the files it writes, and for scripts/bench-web. Any console or page error fails it.
//   node browser_check.mjs --url URL --work DIR --modules DIR [--fake-audio WAV] [--screenshot PNG]
//       [--offline IN,OUT,GAIN,PITCH,MIX]...   OfflineAudioContext at IN's rate, the delay kept
//       [--drop IN,PRESET,OUT]...              IN dropped on the page at PRESET; the download saved as OUT
//       [--live SECONDS]                       the fake microphone through the live graph, judged here
//       [--bench SECONDS]                      ns per sample of the WebAssembly core in the page
import { mkdir, readFile, readdir, rename, writeFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { timeBlocks } from '../../bench/web_speed.mjs';

const fail = (message) => { process.exitCode = 1; console.log(`FAILED: ${message}`); };
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const options = { offline: [], drop: [] };
for (let i = 2; i < process.argv.length; i += 2) {
  const name = process.argv[i].slice(2).replace(/-(.)/g, (_, c) => c.toUpperCase());
  if (options[name]?.push) options[name].push(process.argv[i + 1].split(',')); else options[name] = process.argv[i + 1];
}

async function renderOffline(page, [input, output, gain, pitch, mix]) {
  const wav = await page.evaluate(async (bytes, settings) => {
    const { renderTinvoicerOffline, audioBufferToWav, wavSampleRate } = await import('/src/index.js');
    const data = Uint8Array.from(bytes).buffer;
    const buffer = await new OfflineAudioContext(1, 1, wavSampleRate(data)).decodeAudioData(data);
    return Array.from(audioBufferToWav(await renderTinvoicerOffline(buffer, settings, { compensateLatency: false })));
  }, [...await readFile(input)], { gain: Number(gain), pitch: Number(pitch), mix: Number(mix) });
  await writeFile(output, Uint8Array.from(wav));
}

// The file dragged onto the drop zone as the desktop drags it; the download lands in `downloads`.
async function dropFile(page, downloads, [input, preset, output]) {
  await page.click(`#presets ::-p-text(${preset})`);
  const [at, data] = [await (await page.$('#drop')).clickablePoint(), { items: [], files: [input], dragOperationsMask: 1 }];
  for (const step of ['dragEnter', 'dragOver', 'drop']) await page.mouse[step](at, data);
  let saved;
  for (let waited = 0; !(saved = (await readdir(downloads)).find((file) => file.endsWith('-robot.wav'))); waited += 100) {
    if (waited > 60000) throw new Error(`no download of ${input} within 60 s`);
    await sleep(100);
  }
  await rename(join(downloads, saved), output);
}

// A test-only processor: one channel of each of its inputs (the microphone, the robot) from the
// first quantum both arrive on, for `frames` samples.
const tapSource = `registerProcessor('check-tap', class extends AudioWorkletProcessor {
  constructor(options) { super(); this.kept = [0, 1].map(() => new Float32Array(options.processorOptions.frames)); this.filled = 0; }
  process(inputs) {
    if (this.filled >= this.kept[0].length || !inputs[0][0] || !inputs[1][0]) return true;
    this.kept.forEach((kept, i) => kept.set(inputs[i][0].subarray(0, kept.length - this.filled), this.filled));
    if ((this.filled += 128) >= this.kept[0].length) this.port.postMessage(this.kept);
    return true;
  }
});`;

// In the page: records the live graph and runs the core on the captured input. The robot's frame
// grid, started before the tap, is unknown by a multiple of the 128-sample quantum below the hop:
// each phase runs from silence, compared from sample 4096 on (no history reaches back before it).
// The pitch: the autocorrelation peak nearest the shortest lag within 10 % of the best between 50
// and 1000 Hz (the best may be a multiple of the period).
async function recordLive(source, seconds, settings) {
  const { context, source: microphone, node } = window.tinvoicerPage.live;
  const rate = context.sampleRate;
  await (window.checkTap ??= context.audioWorklet.addModule(URL.createObjectURL(new Blob([source], { type: 'text/javascript' }))));
  const frames = Math.ceil((seconds * rate) / 128) * 128;
  const tap = new AudioWorkletNode(context, 'check-tap',
    { numberOfInputs: 2, channelCount: 1, channelCountMode: 'explicit', processorOptions: { frames } });
  const [input, output] = await new Promise((resolve) => {
    tap.port.onmessage = ({ data }) => resolve(data);
    microphone.connect(tap, 0, 0);
    node.connect(tap, 0, 1);
    tap.connect(context.destination);  // silent: pulled along with the robot
  });
  const { loadTinvoicer, tinvoicerWasmUrl } = await import('/src/core.js');
  const core = await loadTinvoicer(await WebAssembly.compile(await (await fetch(tinvoicerWasmUrl())).arrayBuffer()));
  const differing = [0, 128, 256, 384].map((phase) => {
    const fed = Float32Array.from({ length: phase + frames }, (_, i) => (i < phase ? 0 : input[i - phase]));
    core.createVoice().process(fed, fed, ...settings);
    return output.filter((sample, i) => i >= 4096 && !Object.is(sample, fed[i + phase])).length;
  });
  const lags = Array.from({ length: Math.ceil(rate / 50 - rate / 1000) }, (_, k) => Math.floor(rate / 1000) + k);
  const r = lags.map((lag) => output.subarray(4096, frames - lag).reduce((sum, x, i) => sum + x * output[4096 + i + lag], 0));
  let at = r.findIndex((value) => value >= 0.9 * Math.max(...r));
  while (r[at + 1] > r[at]) at++;
  return { rate, counted: frames - 4096, differing, pitch: rate / lags[at] };
}

async function live(page, seconds) {
  await page.click('#start');
  await page.waitForFunction(() => window.tinvoicerPage.live !== null, { timeout: 20000 });
  for (const [preset, hop, settings] of [['Classic robot', 256, [0, 0, 100]], ['Deep robot', 512, [0, -12, 100]]]) {
    await page.click(`#presets ::-p-text(${preset})`);
    await sleep(500);  // a frame at the preset's pitch has passed
    const { rate, counted, differing, pitch } = await page.evaluate(recordLive, tapSource, seconds, settings);
    const line = `live: ${preset}: ${counted} samples at ${rate} Hz against the core at ${settings} on the captured input: ${
      differing.includes(0) ? 'equal' : `${differing} differ at each hop phase`}; robot pitch ${pitch.toFixed(2)} Hz (rate / ${hop})`;
    if (!differing.includes(0) || Math.abs((pitch * hop) / rate - 1) > 0.02) fail(line); else console.log(line);
  }
}

const bench = (page, seconds) => page.evaluate(`import('/src/core.js').then(async ({ loadTinvoicer, tinvoicerWasmUrl }) => {
  const core = await loadTinvoicer(await WebAssembly.compile(await (await fetch(tinvoicerWasmUrl())).arrayBuffer()));
  return (${timeBlocks})(core.createVoice(), ${Number(seconds)}); })`);

const downloads = join(options.work, 'downloads');
await mkdir(downloads, { recursive: true });
const puppeteerPath = createRequire(join(options.modules, 'package.json')).resolve('puppeteer-core');
const { default: puppeteer } = await import(pathToFileURL(puppeteerPath));
const microphone = ['--use-fake-device-for-media-stream', '--use-fake-ui-for-media-stream'];
const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', userDataDir: join(options.work, 'profile'),
  downloadBehavior: { policy: 'allow', downloadPath: downloads },
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--disable-component-update', '--autoplay-policy=no-user-gesture-required',
    ...(options.fakeAudio ? [...microphone, `--use-file-for-fake-audio-capture=${options.fakeAudio}`] : [])] });
try {
  const page = await browser.newPage();
  page.on('console', (message) => { if (message.type() === 'error') fail(`console error: ${message.text()}`); });
  page.on('pageerror', (error) => fail(`page error: ${error.message}`));
  await page.goto(options.url);
  if (options.screenshot) await page.screenshot({ path: options.screenshot, fullPage: true });
  for (const job of options.offline) await renderOffline(page, job);
  for (const job of options.drop) await dropFile(page, downloads, job);
  if (options.live) await live(page, Number(options.live));
  if (options.bench) console.log(`bench: ${(await bench(page, options.bench)).toFixed(3)}`);
} finally {  // an error goes on to node, which prints it and fails
  await browser.close();
}
