// Spectrograms on a canvas: a Hann-windowed radix-2 FFT of the channels' mean, one frame per
// pixel column, frequencies on a log axis from 20 Hz to `topHz`, levels from -100 to 0 dB.

const SIZE = 2048;
const FLOOR_DB = -100;
const LOW_HZ = 20;

const hann = Float32Array.from({ length: SIZE }, (_, i) => 0.5 - 0.5 * Math.cos((2 * Math.PI * i) / SIZE));

const COS = Float32Array.from({ length: SIZE / 2 }, (_, k) => Math.cos((2 * Math.PI * k) / SIZE));
const SIN = Float32Array.from({ length: SIZE / 2 }, (_, k) => -Math.sin((2 * Math.PI * k) / SIZE));

// In-place iterative FFT of SIZE complex values.
function fft(re, im) {
  const n = re.length;
  for (let i = 1, j = 0; i < n; i++) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      [re[i], re[j]] = [re[j], re[i]];
      [im[i], im[j]] = [im[j], im[i]];
    }
  }
  for (let len = 2; len <= n; len <<= 1) {
    const stride = n / len;
    for (let start = 0; start < n; start += len) {
      for (let k = 0; k < len / 2; k++) {
        const wr = COS[k * stride];
        const wi = SIN[k * stride];
        const a = start + k;
        const b = a + len / 2;
        const tr = re[b] * wr - im[b] * wi;
        const ti = re[b] * wi + im[b] * wr;
        re[b] = re[a] - tr;
        im[b] = im[a] - ti;
        re[a] += tr;
        im[a] += ti;
      }
    }
  }
}

// Dark blue through magenta and orange to pale yellow.
const STOPS = [[8, 8, 24], [60, 15, 110], [180, 40, 120], [250, 130, 50], [252, 250, 190]];
function colour(t) {
  const x = Math.min(Math.max(t, 0), 1) * (STOPS.length - 1);
  const i = Math.min(Math.floor(x), STOPS.length - 2);
  const f = x - i;
  return STOPS[i].map((c, k) => Math.round(c + (STOPS[i + 1][k] - c) * f));
}

function mono(channels) {
  const out = new Float32Array(channels[0].length);
  for (const channel of channels) for (let i = 0; i < out.length; i++) out[i] += channel[i] / channels.length;
  return out;
}

// Draws `channels` (planar Float32Array[]) at `sampleRate` into `canvas`.
export function drawSpectrogram(canvas, channels, sampleRate, topHz) {
  const width = canvas.width;
  const height = canvas.height;
  const context = canvas.getContext('2d');
  const image = context.createImageData(width, height);
  const signal = mono(channels);
  const re = new Float32Array(SIZE);
  const im = new Float32Array(SIZE);
  const binOfRow = Array.from({ length: height }, (_, y) => {
    const hz = LOW_HZ * Math.pow(topHz / LOW_HZ, 1 - (y + 0.5) / height);
    return Math.round((hz * SIZE) / sampleRate);
  });
  const scale = 4 / SIZE; // a full-scale sine reads near 0 dB under the Hann window
  for (let x = 0; x < width; x++) {
    const start = Math.floor(((signal.length - SIZE) * x) / Math.max(width - 1, 1));
    for (let i = 0; i < SIZE; i++) {
      const at = start + i;
      re[i] = at >= 0 && at < signal.length ? signal[at] * hann[i] : 0;
      im[i] = 0;
    }
    fft(re, im);
    for (let y = 0; y < height; y++) {
      const bin = binOfRow[y];
      const p = 4 * (y * width + x);
      if (bin >= SIZE / 2) {
        image.data[p + 3] = 0;
        continue;
      }
      const db = 10 * Math.log10((re[bin] * re[bin] + im[bin] * im[bin]) * scale * scale + 1e-20);
      const [r, g, b] = colour((db - FLOOR_DB) / -FLOOR_DB);
      image.data.set([r, g, b, 255], p);
    }
  }
  context.putImageData(image, 0, 0);
  context.font = `${Math.round(height / 16)}px system-ui, sans-serif`;
  context.fillStyle = 'rgba(255, 255, 255, 0.75)';
  for (const [hz, label] of [[100, '100 Hz'], [1000, '1 kHz'], [10000, '10 kHz']]) {
    if (hz < topHz) context.fillText(label, 4, height * (1 - Math.log(hz / LOW_HZ) / Math.log(topHz / LOW_HZ)) - 2);
  }
}
