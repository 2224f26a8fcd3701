// What the page's test hears: a WAV file's first channel, where notes begin, and a note's pitch.

export function readWav(file) {
  const data = (typeof file === 'string') ? awaitRead(file) : file;
  const view = new DataView(data.buffer, data.byteOffset, data.byteLength);
  let at = 12, format = 0, channels = 0, rate = 0, bits = 0;
  while (at + 8 <= view.byteLength) {
    const id = String.fromCharCode(...data.subarray(at, at + 4));
    const size = view.getUint32(at + 4, true);
    if (id === 'fmt ') {
      format = view.getUint16(at + 8, true);
      channels = view.getUint16(at + 10, true);
      rate = view.getUint32(at + 12, true);
      bits = view.getUint16(at + 22, true);
    } else if (id === 'data') {
      const frames = Math.floor(size / (channels * bits / 8));
      const samples = new Float32Array(frames);
      for (let i = 0; i < frames; ++i) {
        const where = at + 8 + i * channels * bits / 8;
        samples[i] = (format === 3 || bits === 32) ? view.getFloat32(where, true) : view.getInt16(where, true) / 32768;
      }
      return { rate, samples };
    }
    at += 8 + size + (size & 1);
  }
  throw new Error('no sound in the WAV file');
}

import fs from 'node:fs';
function awaitRead(file) {
  return new Uint8Array(fs.readFileSync(file));
}

// Sample indices where a note begins: the energy of the signal's first difference (an attack is
// rich in high partials) in 5 ms frames jumps well above its recent level.
export function onsets(samples, rate) {
  const hop = Math.round(rate * 0.005);
  const energy = [];
  for (let at = 1; at + hop <= samples.length; at += hop) {
    let sum = 0;
    for (let i = at; i < at + hop; ++i) sum += (samples[i] - samples[i - 1]) ** 2;
    energy.push(sum);
  }
  const loudest = Math.max(...energy);
  const found = [];
  for (let k = 1; k < energy.length; ++k) {
    const recent = Math.max(...energy.slice(Math.max(0, k - 10), k));
    const spaced = found.length === 0 || (k * hop + 1 - found[found.length - 1]) > 0.06 * rate;
    if (energy[k] > 4 * recent && energy[k] > 1e-3 * loudest && spaced) found.push(k * hop + 1);
  }
  return found;
}

// How much higher the notes sound in `ours` than in `theirs` around one note each (a ratio, 1
// when in tune): the scale of frequency that best lines up the two magnitude spectra, 100 to
// 3000 Hz, of the 100 ms after each note begins. The new note's attack stands above the strings
// still ringing, and both mixtures hold the same ringing strings when every pitch agrees.
export function pitchRatio(ours, ourRate, ourStart, theirs, theirRate, theirStart) {
  const a = spectrum(ours, ourRate, ourStart), b = spectrum(theirs, theirRate, theirStart);
  let best = 1, bestScore = -Infinity;
  for (let ratio = 0.9; ratio <= 1.1; ratio += 0.0005) {
    let score = 0;
    for (let hz = 100; hz < 3000; hz += 1) score += a(hz * ratio) * b(hz);
    if (score > bestScore) { best = ratio; bestScore = score; }
  }
  return best;
}

// The log-magnitude spectrum of 100 ms from `start`, zero-padded to 1 Hz, as a function of Hz.
function spectrum(samples, rate, start) {
  const length = Math.round(0.1 * rate), size = 1 << Math.ceil(Math.log2(rate));
  const re = new Float64Array(size), im = new Float64Array(size);
  for (let i = 0; i < length; ++i)
    re[i] = (samples[start + i] || 0) * (0.5 - 0.5 * Math.cos(2 * Math.PI * i / (length - 1)));
  fft(re, im);
  const level = new Float64Array(size / 2);
  for (let k = 0; k < size / 2; ++k) level[k] = Math.log(1e-9 + Math.hypot(re[k], im[k]));
  const mean = level.reduce((sum, value) => sum + value, 0) / level.length;
  return (hz) => level[Math.round(hz * size / rate)] - mean;
}

// In-place radix-2 FFT.
function fft(re, im) {
  const n = re.length;
  for (let i = 1, j = 0; i < n; ++i) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) { [re[i], re[j]] = [re[j], re[i]]; [im[i], im[j]] = [im[j], im[i]]; }
  }
  for (let size = 2; size <= n; size <<= 1) {
    const step = -2 * Math.PI / size;
    for (let start = 0; start < n; start += size) {
      for (let k = 0; k < size / 2; ++k) {
        const wr = Math.cos(step * k), wi = Math.sin(step * k);
        const a = start + k, b = a + size / 2;
        const tr = re[b] * wr - im[b] * wi, ti = re[b] * wi + im[b] * wr;
        re[b] = re[a] - tr; im[b] = im[a] - ti;
        re[a] += tr; im[a] += ti;
      }
    }
  }
}
