// WAV files in and out, sample for sample: 16-, 24- and 32-bit integer and 32-bit float in,
// 32-bit float out, whose samples keep every bit of the audio. Plain arrays, no Web Audio, so
// that node and the page share it.

const PCM = 1;
const IEEE_FLOAT = 3;
const EXTENSIBLE = 0xfffe;

/**
 * Reads a WAV file's samples: { sampleRate, channels: Float32Array[] }. Throws an Error that
 * says what is wrong with a file that is no WAV, is cut short, or holds another encoding.
 */
export function decodeWav(bytes) {
  const data = viewOf(bytes);
  const { format, data: start, size } = chunksOf(data);
  if (start === undefined) throw new Error('the WAV file has no data chunk');
  return { sampleRate: format.sampleRate, channels: samplesOf(data, start, Math.min(size, data.byteLength - start), format) };
}

/** The sample rate a WAV file states, or null for bytes that are no WAV file. */
export function wavSampleRate(bytes) {
  try {
    return chunksOf(viewOf(bytes)).format.sampleRate;
  } catch {
    return null;
  }
}

function viewOf(bytes) {
  return bytes instanceof ArrayBuffer ? new DataView(bytes) : new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
}

// The format chunk's fields and where the data chunk starts, walking the chunks up to it.
function chunksOf(data) {
  const tag = (offset) => String.fromCharCode(...new Uint8Array(data.buffer, data.byteOffset + offset, 4));
  if (data.byteLength < 12 || tag(0) !== 'RIFF' || tag(8) !== 'WAVE') throw new Error('not a WAV file (no RIFF/WAVE header)');
  let format = null;
  for (let offset = 12; offset + 8 <= data.byteLength;) {
    const id = tag(offset);
    const size = data.getUint32(offset + 4, true);
    const body = offset + 8;
    if (id === 'fmt ') {
      if (size < 16 || body + size > data.byteLength) throw new Error('the WAV file\'s format chunk is cut short');
      let code = data.getUint16(body, true);
      if (code === EXTENSIBLE && size >= 26) code = data.getUint16(body + 24, true);
      format = { code, channels: data.getUint16(body + 2, true), sampleRate: data.getUint32(body + 4, true), bits: data.getUint16(body + 14, true) };
    } else if (id === 'data') {
      if (!format) throw new Error('the WAV file has its data before its format');
      return { format, data: body, size };
    }
    offset = body + size + (size & 1);
  }
  if (!format) throw new Error('the WAV file has no format chunk');
  return { format };
}

function samplesOf(data, start, size, { code, channels, bits }) {
  const reader = readerFor(code, bits);
  if (!reader || channels < 1) throw new Error(`a WAV encoding this reader does not know (format ${code}, ${bits} bits, ${channels} channels)`);
  const frameBytes = channels * (bits / 8);
  const frames = Math.floor(size / frameBytes);
  const out = Array.from({ length: channels }, () => new Float32Array(frames));
  for (let frame = 0; frame < frames; frame++) {
    for (let channel = 0; channel < channels; channel++) {
      out[channel][frame] = reader(data, start + frame * frameBytes + channel * (bits / 8));
    }
  }
  return out;
}

function readerFor(code, bits) {
  if (code === IEEE_FLOAT && bits === 32) return (d, at) => d.getFloat32(at, true);
  if (code !== PCM) return null;
  if (bits === 16) return (d, at) => d.getInt16(at, true) / 32768;
  if (bits === 24) return (d, at) => ((d.getInt8(at + 2) << 16) | (d.getUint8(at + 1) << 8) | d.getUint8(at)) / 8388608;
  if (bits === 32) return (d, at) => d.getInt32(at, true) / 2147483648;
  return null;
}

/** A 32-bit float WAV file of { sampleRate, channels: Float32Array[] } (equal lengths), as bytes. */
export function encodeWav({ sampleRate, channels }) {
  const frames = channels[0]?.length ?? 0;
  const dataBytes = frames * channels.length * 4;
  const bytes = new ArrayBuffer(58 + dataBytes);
  const data = new DataView(bytes);
  const tag = (offset, text) => [...text].forEach((c, i) => data.setUint8(offset + i, c.charCodeAt(0)));
  tag(0, 'RIFF');
  data.setUint32(4, 50 + dataBytes, true);
  tag(8, 'WAVE');
  tag(12, 'fmt ');
  data.setUint32(16, 18, true);
  data.setUint16(20, IEEE_FLOAT, true);
  data.setUint16(22, channels.length, true);
  data.setUint32(24, sampleRate, true);
  data.setUint32(28, sampleRate * channels.length * 4, true);
  data.setUint16(32, channels.length * 4, true);
  data.setUint16(34, 32, true);
  data.setUint16(36, 0, true);
  tag(38, 'fact');  // a non-PCM file says how many frames it holds
  data.setUint32(42, 4, true);
  data.setUint32(46, frames, true);
  tag(50, 'data');
  data.setUint32(54, dataBytes, true);
  for (let frame = 0, at = 58; frame < frames; frame++) {
    for (const channel of channels) {
      data.setFloat32(at, channel[frame], true);
      at += 4;
    }
  }
  return new Uint8Array(bytes);
}
