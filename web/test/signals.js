// The golden check's input signals (tests/golden/signals.cpp), sample for sample.
export const signalNames = ['impulse', 'silence', 'square', 'sweep', 'noise', 'mix'];
export const channelCounts = [1, 2, 3, 6];
export const sampleRates = [8000, 11025, 22050, 44100, 48000, 96000, 0, 1, 10, 22];

export function signalFrames(rate) {
  if (rate === 44100) return 132300;
  return rate >= 8000 ? 40000 : 3000;
}

function polySine(t) {
  let x = t < 0.5 ? t : t - 1.0;
  x *= 6.283185307179586;
  const x2 = x * x;
  return x * (1.0 - (x2 / 6.0) * (1.0 - (x2 / 20.0) * (1.0 - (x2 / 42.0) * (1.0 - x2 / 72.0))));
}

const toSample = (v) => (v > 32767 ? 32767 : v < -32768 ? -32768 : Math.trunc(v));

// Interleaved 16-bit samples of one signal.
export function makeSignal(name, channels, rate) {
  const frames = signalFrames(rate);
  const samples = new Int16Array(frames * channels);
  for (let c = 0; c < channels; ++c) {
    let random = (0x9e3779b9 ^ Math.imul(c, 0x85ebca6b) ^ rate) >>> 0;
    if (random === 0) random = 1;
    let phase = 0.0;
    for (let f = 0; f < frames; ++f) {
      phase += 0.5 * (f / frames) * (1.0 + 0.1 * c);
      phase -= Math.trunc(phase);
      const sweep = 30000.0 * polySine(phase);
      random ^= random << 13;
      random ^= random >>> 17;
      random ^= random << 5;
      random >>>= 0;
      const noise = (random << 16) >> 16;
      let value = 0;
      if (name === 'impulse') {
        if (f === 0) value = c % 2 === 0 ? 16384 : 32767;
        if (f === Math.floor(frames / 2)) value = -32768;
      } else if (name === 'square') {
        value = Math.floor((f + 13 * c) / 50) % 2 === 0 ? 32767 : -32768;
      } else if (name === 'sweep') {
        value = toSample(sweep);
      } else if (name === 'noise') {
        value = noise;
      } else if (name === 'mix') {
        value = Math.floor(f / 4000) % 3 === 0 ? toSample(0.6 * sweep + 0.3 * noise) : 0;
      }
      samples[f * channels + c] = value;
    }
  }
  return samples;
}

// The golden check's input file: a 44-byte header whose byte rate and block align are 0.
export function wav16(samples, channels, rate) {
  const bytes = new ArrayBuffer(44 + samples.length * 2);
  const view = new DataView(bytes);
  const text = (at, s) => [...s].forEach((ch, i) => view.setUint8(at + i, ch.charCodeAt(0)));
  text(0, 'RIFF');
  view.setUint32(4, 36 + samples.length * 2, true);
  text(8, 'WAVEfmt ');
  view.setUint32(16, 16, true);
  view.setUint16(20, 1, true);
  view.setUint16(22, channels, true);
  view.setUint32(24, rate, true);
  view.setUint16(34, 16, true);
  text(36, 'data');
  view.setUint32(40, samples.length * 2, true);
  samples.forEach((s, i) => view.setInt16(44 + 2 * i, s, true));
  return bytes;
}
