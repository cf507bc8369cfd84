// The page: the microphone through the robot voice, its controls and presets, a level meter of
// both, and a dropped file rendered offline and handed back as a WAV file.
import {
  TINVOICER_PARAMETERS, TINVOICER_PRESETS, addTinvoicerModule, audioBufferToWav, createTinvoicerNode,
  renderTinvoicerOffline, wavSampleRate,
} from '../src/index.js';

const $ = (id) => document.getElementById(id);
// The running graph, for the browser's console: { context, stream, source, node, levels }.
const page = { live: null };
window.tinvoicerPage = page;

const units = { gain: (v) => `${v} dB`, pitch: (v) => `${v > 0 ? '+' : ''}${v} semitones`, mix: (v) => `${v} %` };

function settings() {
  return Object.fromEntries(TINVOICER_PARAMETERS.map(({ name }) => [name, Number($(name).value)]));
}

function applySettings() {
  const now = settings();
  for (const [name, value] of Object.entries(now)) {
    $(`${name}-value`).textContent = units[name](value);
    if (page.live) page.live.node.parameters.get(name).value = value;
  }
  for (const button of $('presets').children) {
    const preset = TINVOICER_PRESETS[button.dataset.index];
    const pressed = Object.keys(now).every((name) => preset[name] === now[name]);
    button.setAttribute('aria-pressed', String(pressed));
  }
}

function setUpControls() {
  TINVOICER_PRESETS.forEach((preset, index) => {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = preset.name;
    button.dataset.index = index;
    button.addEventListener('click', () => {
      for (const { name } of TINVOICER_PARAMETERS) $(name).value = preset[name];
      applySettings();
    });
    $('presets').append(button);
  });
  for (const { name } of TINVOICER_PARAMETERS) $(name).addEventListener('input', applySettings);
  applySettings();
}

// Live.

const liveStatus = (text) => { $('live-status').textContent = text; };

async function startLive() {
  if (!window.isSecureContext || !navigator.mediaDevices?.getUserMedia) {
    liveStatus('The microphone needs a secure page: https, or this machine\'s own address (127.0.0.1).');
    return;
  }
  $('start').disabled = true;
  let stream = null;
  try {
    // The voice as it is: echo cancellation, noise suppression and level control would all
    // reshape what the robot sings.
    stream = await navigator.mediaDevices.getUserMedia({
      audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false },
    });
    const context = new AudioContext({ latencyHint: 'interactive' });
    await addTinvoicerModule(context);
    const source = context.createMediaStreamSource(stream);
    const node = createTinvoicerNode(context, settings());
    const levels = [source, node].map((from) => {
      const analyser = new AnalyserNode(context, { fftSize: 2048 });
      from.connect(analyser);
      return analyser;
    });
    source.connect(node).connect(context.destination);
    node.addEventListener('processorerror', () => liveStatus('The robot voice stopped with an error.'));
    await context.resume();
    page.live = { context, stream, source, node, levels };
    const lateMs = Math.round((1000 * node.latency) / context.sampleRate);
    liveStatus(`Listening at ${context.sampleRate / 1000} kHz; the robot follows ${lateMs} ms behind.`);
    $('start').textContent = 'Stop';
    requestAnimationFrame(drawMeters);
  } catch (error) {
    stream?.getTracks().forEach((track) => track.stop());
    liveStatus(`No microphone: ${error.message}`);
  } finally {
    $('start').disabled = false;
  }
}

async function stopLive() {
  const { context, stream } = page.live;
  page.live = null;
  stream.getTracks().forEach((track) => track.stop());
  await context.close();
  $('start').textContent = 'Start the microphone';
  liveStatus('Stopped.');
  drawMeters();
}

// Level meters: the peak of the last 2048 samples of each, on a scale of -60 to 0 dBFS.
const meterSamples = new Float32Array(2048);
const meterNames = ['Microphone', 'Robot'];

function peakDb(analyser) {
  analyser.getFloatTimeDomainData(meterSamples);
  let peak = 0;
  for (const sample of meterSamples) peak = Math.max(peak, Math.abs(sample));
  return peak > 0 ? 20 * Math.log10(peak) : -Infinity;
}

function drawMeters() {
  const canvas = $('meters');
  const context2d = canvas.getContext('2d');
  const style = getComputedStyle(document.body);
  context2d.clearRect(0, 0, canvas.width, canvas.height);
  context2d.font = '13px system-ui, sans-serif';
  meterNames.forEach((name, row) => {
    const db = page.live ? peakDb(page.live.levels[row]) : -Infinity;
    const y = 8 + row * 32;
    const left = 90;
    const width = canvas.width - left - 70;
    context2d.fillStyle = style.color;
    context2d.fillText(name, 0, y + 15);
    context2d.fillText(Number.isFinite(db) ? `${db.toFixed(1)} dB` : '-∞ dB', left + width + 8, y + 15);
    context2d.globalAlpha = 0.15;
    context2d.fillRect(left, y, width, 20);
    context2d.globalAlpha = 1;
    context2d.fillStyle = db > -1 ? '#c0392b' : '#2a7ab0';
    context2d.fillRect(left, y, width * Math.max(0, Math.min(1, (db + 60) / 60)), 20);
  });
  if (page.live) requestAnimationFrame(drawMeters);
}

// A file.

const fileStatus = (text) => { $('file-status').textContent = text; };

async function renderFile(file) {
  fileStatus(`Rendering ${file.name}…`);
  try {
    const bytes = await file.arrayBuffer();
    // Decoded at its own rate, so that a WAV file keeps every sample; other files at 48 kHz.
    const rate = wavSampleRate(bytes) ?? 48000;
    const input = await new OfflineAudioContext(1, 1, rate).decodeAudioData(bytes).catch(() => {
      throw new Error('this browser cannot read it as audio');
    });
    const robot = await renderTinvoicerOffline(input, settings());
    const name = `${file.name.replace(/\.[^.]*$/, '') || 'voice'}-robot.wav`;
    download(audioBufferToWav(robot), name);
    fileStatus(`${file.name}: ${robot.duration.toFixed(1)} s at ${robot.sampleRate / 1000} kHz; ${name} is downloading.`);
  } catch (error) {
    fileStatus(`${file.name}: ${error.message}`);
  }
}

function download(bytes, name) {
  const url = URL.createObjectURL(new Blob([bytes], { type: 'audio/wav' }));
  const link = Object.assign(document.createElement('a'), { href: url, download: name });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

function setUpFile() {
  const drop = $('drop');
  drop.addEventListener('dragover', (event) => {
    event.preventDefault();
    drop.classList.add('over');
  });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    const [file] = event.dataTransfer.files;
    if (file) renderFile(file);
  });
  $('file-input').addEventListener('change', (event) => {
    const [file] = event.target.files;
    if (file) renderFile(file);
    event.target.value = '';
  });
}

setUpControls();
setUpFile();
drawMeters();
$('start').addEventListener('click', () => (page.live ? stopLive() : startLive()));
