// Drives Debian's Chromium, headless, through the browser edition's page (scripts/check-browser
// judges what it writes). Every console error or uncaught page error fails the run.
//
//   node browser_check.mjs --url URL --site DIR --work DIR --modules DIR [--fake-audio WAV] [--screenshot PNG]
//       [--offline IN,OUT,GAIN,PITCH,MIX]...   OfflineAudioContext at IN's rate, the delay kept
//       [--drop IN,PRESET,OUT]...              IN dropped on the page at PRESET; the download saved as OUT
//       [--live SECONDS]                       the fake microphone through the page's live graph
//       [--bench SECONDS]                      ns per sample of the WebAssembly core in the page
// --modules names the folder where npm installed this folder's package-lock.json (puppeteer-core):
// outside the source tree, which holds sources only.
import { mkdir, readFile, readdir, rename, writeFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const failures = [];
const fail = (message) => { failures.push(message); console.log(`FAILED: ${message}`); };

function parse(args) {
  const options = { offline: [], drop: [] };
  for (let i = 0; i < args.length; i += 2) {
    const name = args[i].replace(/^--/, '').replace(/-(.)/g, (_, c) => c.toUpperCase());
    if (Array.isArray(options[name])) options[name].push(args[i + 1].split(','));
    else options[name] = args[i + 1];
  }
  return options;
}

async function launch(options) {
  const require = createRequire(resolve(options.modules, 'package.json'));
  const { default: puppeteer } = await import(pathToFileURL(require.resolve('puppeteer-core')));
  const args = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'];
  if (options.fakeAudio) {
    args.push('--use-fake-device-for-media-stream', '--use-fake-ui-for-media-stream',
      `--use-file-for-fake-audio-capture=${options.fakeAudio}`);
  }
  return puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true, args, userDataDir: join(options.work, 'profile'),
    protocolTimeout: 120000,
  });
}

async function openPage(browser, options) {
  const page = await browser.newPage();
  page.on('console', (message) => { if (message.type() === 'error') fail(`console error: ${message.text()}`); });
  page.on('pageerror', (error) => fail(`page error: ${error.message}`));
  page.on('requestfailed', (request) => fail(`request failed: ${request.url()} ${request.failure()?.errorText}`));
  await page.goto(options.url, { waitUntil: 'load' });
  await page.waitForFunction(() => document.querySelectorAll('#presets button').length === 4, { timeout: 10000 });
  return page;
}

const toBase64 = (bytes) => Buffer.from(bytes).toString('base64');

// OfflineAudioContext at the file's own rate, the way the page decodes a dropped file.
async function renderOffline(page, [input, output, gain, pitch, mix]) {
  const wav = await page.evaluate(async (data, settings) => {
    const { renderTinvoicerOffline, audioBufferToWav, wavSampleRate } = await import('/src/index.js');
    const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0)).buffer;
    const buffer = await new OfflineAudioContext(1, 1, wavSampleRate(bytes)).decodeAudioData(bytes);
    const robot = await renderTinvoicerOffline(buffer, settings, { compensateLatency: false });
    let text = '';
    for (const byte of audioBufferToWav(robot)) text += String.fromCharCode(byte);
    return btoa(text);
  }, toBase64(await readFile(input)), { gain: Number(gain), pitch: Number(pitch), mix: Number(mix) });
  await writeFile(output, Buffer.from(wav, 'base64'));
  console.log(`offline: ${output}`);
}

async function clickPreset(page, preset) {
  const found = await page.evaluate((name) => {
    const button = [...document.querySelectorAll('#presets button')].find((b) => b.textContent === name);
    button?.click();
    return Boolean(button);
  }, preset);
  if (!found) throw new Error(`the page has no preset "${preset}"`);
}

// A drop event carrying the file, as a dragged file brings it; the download lands in the folder.
async function dropFile(page, session, downloads, [input, preset, output]) {
  await clickPreset(page, preset);
  const name = input.split('/').pop();
  const done = new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no download of ${name} within 60 s`)), 60000);
    session.on('Browser.downloadProgress', (event) => {
      if (event.state === 'completed') { clearTimeout(timer); resolve(); }
      if (event.state === 'canceled') { clearTimeout(timer); reject(new Error(`the download of ${name} was canceled`)); }
    });
  });
  await page.evaluate((data, fileName) => {
    const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
    const transfer = new DataTransfer();
    transfer.items.add(new File([bytes], fileName, { type: 'audio/wav' }));
    document.getElementById('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }, toBase64(await readFile(input)), name);
  await done;
  const files = (await readdir(downloads)).filter((file) => file.endsWith('-robot.wav'));
  if (files.length !== 1) throw new Error(`the downloads hold ${files.join(', ') || 'nothing'}`);
  await rename(join(downloads, files[0]), output);
  const status = await page.$eval('#file-status', (element) => element.textContent);
  console.log(`drop: ${preset}: ${files[0]} saved as ${output} (the page says: ${status})`);
}

// A test-only processor that copies what reaches it, mixed to one channel as the robot's input
// is, from the first quantum its input is connected on.
const tapSource = `
class CheckTap extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.samples = new Float32Array(options.processorOptions.frames);
    this.filled = 0;
    this.start = -1;
  }
  process(inputs) {
    const channel = inputs[0][0];
    if (this.filled >= this.samples.length || (!channel && this.start < 0)) return true;
    if (this.start < 0) this.start = currentFrame;
    if (channel) this.samples.set(channel.subarray(0, this.samples.length - this.filled), this.filled);
    this.filled += 128;
    if (this.filled >= this.samples.length) this.port.postMessage({ start: this.start, samples: this.samples });
    return true;
  }
}
registerProcessor('check-tap', CheckTap);`;

// Records the live graph's input and output side by side for `seconds`.
async function recordLive(page, seconds) {
  return page.evaluate(async (source, seconds) => {
    const live = window.tinvoicerPage.live;
    const { context } = live;
    if (!globalThis.checkTapLoaded) {
      await context.audioWorklet.addModule(URL.createObjectURL(new Blob([source], { type: 'text/javascript' })));
      globalThis.checkTapLoaded = true;
    }
    const frames = Math.ceil((seconds * context.sampleRate) / 128) * 128;
    const tap = (from) => new Promise((resolve) => {
      const node = new AudioWorkletNode(context, 'check-tap', {
        channelCount: 1, channelCountMode: 'explicit', channelInterpretation: 'speakers', processorOptions: { frames },
      });
      node.port.onmessage = ({ data }) => {
        from.disconnect(node);
        node.disconnect();
        let text = '';
        const bytes = new Uint8Array(data.samples.buffer);
        for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode(...bytes.subarray(i, i + 8192));
        resolve({ start: data.start, samples: btoa(text) });
      };
      from.connect(node);
      node.connect(context.destination);  // silent: pulled along with the robot
    });
    const [input, output] = await Promise.all([tap(live.source), tap(live.node)]);
    return { sampleRate: context.sampleRate, input, output };
  }, tapSource, seconds).then(({ sampleRate, input, output }) => ({
    sampleRate,
    input: { start: input.start, samples: new Float32Array(new Uint8Array(Buffer.from(input.samples, 'base64')).buffer) },
    output: { start: output.start, samples: new Float32Array(new Uint8Array(Buffer.from(output.samples, 'base64')).buffer) },
  }));
}

// The robot's pitch: the peak of the normalised autocorrelation nearest to the shortest lag that
// comes within 10 % of the best between 50 and 1000 Hz (the best may be a multiple of the period).
function pitchOf(samples, sampleRate) {
  const correlation = (lag) => {
    let sum = 0;
    let energy = 0;
    for (let i = 0; i + lag < samples.length; i++) {
      sum += samples[i] * samples[i + lag];
      energy += samples[i] * samples[i];
    }
    return energy > 0 ? sum / energy : 0;
  };
  const lags = [];
  for (let lag = Math.floor(sampleRate / 1000); lag <= Math.ceil(sampleRate / 50); lag++) lags.push([lag, correlation(lag)]);
  const best = Math.max(...lags.map(([, r]) => r));
  let at = lags.findIndex(([, r]) => r >= 0.9 * best);
  while (at + 1 < lags.length && lags[at + 1][1] > lags[at][1]) at++;
  return sampleRate / lags[at][0];
}

// The page's output against the WebAssembly core run here on the captured input. The robot
// started before the taps, on a frame grid unknown by half a hop (a quantum is half of the
// 256-sample hop): both phases are run, from silence, and compared once 4096 samples have
// passed (after which the history no longer reaches back before the taps). One must match.
async function judgeLive(site, { sampleRate, input, output }) {
  const { instantiateTinvoicer } = await import(pathToFileURL(join(site, 'src/core.js')));
  const core = instantiateTinvoicer(new WebAssembly.Module(await readFile(join(site, 'tinvoicer.wasm'))));
  const from = Math.max(input.start, output.start) + 4096;
  const to = Math.min(input.start + input.samples.length, output.start + output.samples.length);
  const verdicts = [0, 128].map((phase) => {
    const fed = new Float32Array(phase + input.samples.length);
    fed.set(input.samples, phase);
    const voice = core.createVoice();
    voice.process(fed, fed, 0, 0, 100);
    let differing = 0;
    for (let frame = from; frame < to; frame++) {
      if (!Object.is(fed[frame - input.start + phase], output.samples[frame - output.start])) differing++;
    }
    return { phase, differing };
  });
  const match = verdicts.find(({ differing }) => differing === 0);
  const counted = to - from;
  if (counted < sampleRate) fail(`live: only ${counted} samples overlap`);
  else if (!match) fail(`live: the output differs from the core on the captured input (${verdicts.map(({ phase, differing }) => `phase ${phase}: ${differing} samples`).join(', ')})`);
  else console.log(`live: ${counted} samples at ${sampleRate} Hz equal the core on the captured input bit for bit (hop phase ${match.phase})`);
  let peak = 0;
  for (const sample of input.samples) peak = Math.max(peak, Math.abs(sample));
  if (peak < 0.01) fail(`live: the fake microphone gave silence (peak ${peak})`);
}

async function live(page, site, seconds) {
  await clickPreset(page, 'Classic robot');
  await page.click('#start');
  await page.waitForFunction(() => window.tinvoicerPage.live !== null, { timeout: 20000 });
  const captured = await recordLive(page, seconds);
  await judgeLive(site, captured);
  const pitches = [['Classic robot', 256, captured]];
  await clickPreset(page, 'Deep robot');
  await new Promise((resolve) => setTimeout(resolve, 500));  // a frame of the new pitch has passed
  pitches.push(['Deep robot', 512, await recordLive(page, 1.5)]);
  for (const [preset, hop, { sampleRate, output }] of pitches) {
    const expected = sampleRate / hop;
    const measured = pitchOf(output.samples.subarray(4096), sampleRate);
    const line = `live: ${preset}: robot pitch ${measured.toFixed(2)} Hz (sample rate / ${hop} = ${expected.toFixed(2)} Hz)`;
    if (Math.abs(measured / expected - 1) > 0.02) fail(line); else console.log(line);
  }
  await page.click('#start');  // stop
  await page.waitForFunction(() => window.tinvoicerPage.live === null, { timeout: 10000 });
}

async function bench(page, seconds) {
  const { timeBlocks } = await import(new URL('../../bench/web_speed.mjs', import.meta.url));
  return page.evaluate(`(async () => {
    const { loadTinvoicer, tinvoicerWasmUrl } = await import('/src/core.js');
    const module = await WebAssembly.compile(await (await fetch(tinvoicerWasmUrl())).arrayBuffer());
    const voice = (await loadTinvoicer(module)).createVoice();
    return (${timeBlocks})(voice, ${Number(seconds)});
  })()`);
}

async function main() {
  const options = parse(process.argv.slice(2));
  const downloads = join(options.work, 'downloads');
  await mkdir(downloads, { recursive: true });
  const browser = await launch(options);
  try {
    const session = await browser.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads, eventsEnabled: true });
    const page = await openPage(browser, options);
    if (options.screenshot) {
      await page.screenshot({ path: options.screenshot, fullPage: true });
      console.log(`screenshot: ${options.screenshot}`);
    }
    for (const job of options.offline) await renderOffline(page, job);
    for (const job of options.drop) await dropFile(page, session, downloads, job);
    if (options.live) await live(page, options.site, Number(options.live));
    if (options.bench) console.log(`bench: ${(await bench(page, options.bench)).toFixed(3)}`);
  } finally {
    await browser.close();
  }
}

main().catch((error) => fail(error.stack ?? String(error))).finally(() => {
  process.exitCode = failures.length === 0 ? 0 : 1;
});
