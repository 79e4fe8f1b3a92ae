// wavfx in JavaScript: the library's C API, compiled to WebAssembly, over planar Float32Arrays
// (Web Audio's layout) and WAV files held in ArrayBuffers.
import createScalarModule from '../dist/wavfx.js';

const kBlock = 16384; // frames handed to the library per call
const kErrorSize = 260; // wavfx_error: int32 code, char message[256]
const kResultSize = 544; // wavfx_file_result
const kStatsSize = 72; // wavfx_channel_stats
const kResultsSize = 120; // wavfx_meter_results
const kNeedsMeasurement = -21; // WAVFX_ERROR_NEEDS_MEASUREMENT
const kJobReadFailed = 2; // WAVFX_JOB_READ_FAILED

export class WavfxError extends Error {
  constructor(message, code = 0) {
    super(message);
    this.name = 'WavfxError';
    this.code = code;
  }
}

// Loads the module: the scalar build, or with { simd: true } the WebAssembly SIMD build (the same
// bytes); { wasmBinary } hands over the binary where the embedded one cannot be decoded.
export async function loadWavfx(options = {}) {
  const factory = options.simd
    ? (await import('../dist/wavfx-simd.js')).default
    : createScalarModule;
  const settings = {};
  if (options.wasmBinary) settings.wasmBinary = options.wasmBinary;
  return new Wavfx(await factory(settings));
}

class Wavfx {
  constructor(module) {
    this.module = module;
    this.version = module.UTF8ToString(module._wavfx_version());
    this._effects = null;
  }

  effects() {
    this._effects ??= JSON.parse(this.module.UTF8ToString(this.module._wavfx_web_effects_json()));
    return structuredClone(this._effects);
  }

  chain(text, { channels = 2, sampleRate = 44100 } = {}) {
    checkText(text);
    checkStream(channels, sampleRate);
    return new Chain(this.module, text, channels, sampleRate);
  }

  // Runs the chain over a WAV file as `wavfx in.wav out.wav CHAIN` does, returning its bytes.
  processWav(input, text, { bits, tail = 0 } = {}) {
    checkText(text);
    const m = this.module;
    const bytes = input instanceof ArrayBuffer ? new Uint8Array(input)
      : new Uint8Array(input.buffer, input.byteOffset, input.byteLength);
    m.FS.writeFile('/in.wav', bytes);
    const strings = withStrings(m, [text, bits === undefined ? null : String(bits)]);
    const options = m._malloc(16);
    const result = m._malloc(kResultSize);
    try {
      m.HEAPF64[options >> 3] = tail;
      m.HEAPU32[(options >> 2) + 2] = 0;
      m.HEAPU32[(options >> 2) + 3] = strings.pointers[1];
      const outcome = withStrings(m, ['/in.wav', '/out.wav'], ([from, to]) =>
        m._wavfx_process_file(from, to, strings.pointers[0], options, result));
      const message = m.UTF8ToString(result + 32);
      if (outcome !== 0 && message.includes('no general reader')) {
        return this.processDecoded(bytes, text, bits, tail);
      }
      if (outcome !== 0) throw new WavfxError(message, outcome);
      const out = m.FS.readFile('/out.wav');
      return out.buffer.slice(out.byteOffset, out.byteOffset + out.byteLength);
    } finally {
      strings.free();
      m._free(options);
      m._free(result);
      for (const path of ['/in.wav', '/out.wav']) {
        try { m.FS.unlink(path); } catch { /* not written */ }
      }
    }
  }

  // What the strict 16-bit path does not take (other depths, a chain that reshapes the stream,
  // --bits) runs here on floats: the library's samples, a header of this package's writeWav.
  processDecoded(bytes, text, bits, tail) {
    const { data, sampleRate, bits: depth } = readWav(bytes);
    let chain;
    try {
      chain = this.chain(text, { channels: data.length, sampleRate });
    } catch (error) {
      if (error.code !== kNeedsMeasurement) throw error;
      // Measured here, the chain may take the strict path after all, as it does in a file job.
      return this.processWav(bytes, this.measured(text, data, sampleRate), { bits, tail });
    }
    try {
      const silence = data.map(() => new Float32Array(Math.round(tail * sampleRate)));
      // 16-bit samples stay 16-bit through the chain, so stages that only move samples keep them.
      const whole = depth === 16 && (bits ?? 16) === 16;
      const parts = whole ? [chain.flowInt16(concat([data, silence], data.length))]
        : [chain.process(data), chain.process(silence), chain.flush()];
      return writeWav(concat(parts, chain.outputChannels), chain.outputSampleRate,
        bits ?? depth, true);
    } finally {
      chain.dispose();
    }
  }

  // The chain's text with the measurements of norm and loudnorm given, as a file job measures.
  measured(text, planar, sampleRate) {
    const m = this.module;
    const frames = planar[0]?.length ?? 0;
    const samples = m._malloc(Math.max(frames * planar.length, 1) * 4);
    const error = m._malloc(kErrorSize);
    const room = 4096;
    const out = m._malloc(room);
    try {
      interleave(planar, 0, frames, m.HEAPF32, samples >> 2);
      const length = withStrings(m, [text], ([chain]) =>
        m._wavfx_chain_measure(chain, planar.length, sampleRate, samples, frames, out, room, error));
      if (!length) throw new WavfxError(m.UTF8ToString(error + 4), m.HEAP32[error >> 2]);
      return m.UTF8ToString(out);
    } finally {
      [samples, error, out].forEach((p) => m._free(p));
    }
  }

  readWav(input) {
    return readWav(input);
  }

  writeWav(planar, sampleRate, { bits = 16 } = {}) {
    return writeWav(planar, sampleRate, bits);
  }

  // Loudness and statistics of planar samples, as `wavfx --stats --json` reports a file.
  measure(planar, sampleRate) {
    const m = this.module;
    const frames = framesOf(planar);
    checkStream(planar.length, sampleRate);
    const channels = planar.length;
    const meter = m._wavfx_meter_create(channels, sampleRate, 0);
    if (!meter) throw new WavfxError('cannot measure: no channels, no rate, or no memory');
    const buffer = m._malloc(kBlock * channels * 4);
    const record = m._malloc(kResultsSize);
    try {
      for (let at = 0; at < frames; at += kBlock) {
        const count = Math.min(kBlock, frames - at);
        interleave(planar, at, count, m.HEAPF32, buffer >> 2);
        m._wavfx_meter_add_float(meter, buffer, count);
      }
      m._wavfx_meter_results_get(meter, record);
      const f64 = m.HEAPF64.subarray(record >> 3);
      const result = {
        frames: Number(m.HEAPU32[record >> 2]) + m.HEAPU32[(record >> 2) + 1] * 2 ** 32,
        nonFinite: m.HEAPU32[(record >> 2) + 2],
        integrated: f64[2], momentaryMax: f64[3], shortTermMax: f64[4], range: f64[5],
        overall: stats(m, record + 48),
        channels: [],
      };
      result.samplePeak = result.overall.peak;
      result.truePeak = result.overall.truePeak;
      for (let c = 0; c < channels; ++c) {
        m._wavfx_meter_channel_stats(meter, c, record);
        result.channels.push(stats(m, record));
      }
      result.history = { momentary: history(m, meter, 0), shortTerm: history(m, meter, 1) };
      return result;
    } finally {
      m._free(buffer);
      m._free(record);
      m._wavfx_meter_destroy(meter);
    }
  }
}

// A chain for one stream; process() carries its state from call to call.
class Chain {
  constructor(module, text, channels, sampleRate) {
    const m = module;
    this.module = m;
    this.text = text;
    this.channels = channels;
    this.sampleRate = sampleRate;
    const error = m._malloc(kErrorSize);
    try {
      this.handle = withStrings(m, [text], ([chain]) =>
        m._wavfx_chain_create(chain, channels, sampleRate, error));
      if (!this.handle) {
        throw new WavfxError(m.UTF8ToString(error + 4), m.HEAP32[error >> 2]);
      }
    } finally {
      m._free(error);
    }
    this.outputChannels = m._wavfx_effect_output_channels(this.handle);
    this.outputSampleRate = m._wavfx_effect_output_sample_rate(this.handle);
    this.reshapes = m._wavfx_effect_reshapes(this.handle) !== 0;
    this.flushed = false; // a reshaping stream ends at its flush
    this.input = m._malloc(kBlock * channels * 4);
    this.output = m._malloc(kBlock * this.outputChannels * 4);
    this.planar = m._malloc(kBlock * Math.max(channels, this.outputChannels) * 4);
    this.counts = m._malloc(8);
  }

  // `into` (optional, for a chain that keeps the stream's shape): arrays to write the output to,
  // which may be `planar` itself; spares the allocation of new ones.
  process(planar, into = null) {
    if (!this.handle) throw new WavfxError('the chain was disposed');
    const frames = framesOf(planar);
    if (planar.length !== this.channels) {
      throw new WavfxError(`${planar.length} channels given to a chain of ${this.channels}`);
    }
    const m = this.module;
    if (!this.reshapes) {
      if (into && (framesOf(into, 'into') < frames || into.length !== this.channels)) {
        throw new WavfxError(`into must hold ${this.channels} channels of ${frames} frames`);
      }
      const out = into ?? planar.map(() => new Float32Array(frames));
      for (let at = 0; at < frames; at += kBlock) {
        const count = Math.min(kBlock, frames - at);
        this.toHeap(planar, at, count, this.input);
        m._wavfx_effect_process_float(this.handle, this.input, count);
        this.fromHeap(this.input, this.channels, out, at, count);
      }
      return out;
    }
    this.checkNotFlushed();
    const parts = [];
    // A chain that has all it keeps (a trim's end passed) takes no more input.
    for (let at = 0; at < frames && m._wavfx_effect_wants_input(this.handle) !== 0;) {
      const count = Math.min(kBlock, frames - at);
      this.toHeap(planar, at, count, this.input);
      for (let done = 0; done < count;) {
        const input = this.input + done * this.channels * 4;
        m._wavfx_effect_flow_float(this.handle, input, count - done, this.output, kBlock,
          this.counts, this.counts + 4);
        done += m.HEAPU32[this.counts >> 2];
        this.collect(parts);
      }
      at += count;
    }
    return concat(parts, this.outputChannels);
  }

  // The frames the stages still hold after the last input: a resampler's last frames, a delay's
  // or fade-out's tail. The stream then ends; reset() starts a new one.
  flush() {
    if (!this.handle) throw new WavfxError('the chain was disposed');
    this.flushed = this.reshapes;
    const parts = [];
    do {
      this.module._wavfx_effect_flush_float(this.handle, this.output, kBlock, this.counts + 4);
    } while (this.collect(parts) > 0);
    return concat(parts, this.outputChannels);
  }

  // The whole stream as 16-bit samples (planar floats s / 32768) through the 16-bit flow calls,
  // flush included; returned as floats s / 32767, which writeWav turns back into s.
  flowInt16(planar) {
    this.checkNotFlushed();
    const m = this.module;
    const frames = planar[0].length;
    const channels = this.channels;
    const out = this.outputChannels;
    const input = m._malloc(Math.max(frames * channels, 1) * 2);
    const room = m._malloc(kBlock * out * 2);
    const parts = [];
    const take = () => {
      const produced = m.HEAPU32[(this.counts >> 2) + 1];
      const part = Array.from({ length: out }, () => new Float32Array(produced));
      for (let i = 0, j = room >> 1; i < produced; ++i) {
        for (let c = 0; c < out; ++c, ++j) part[c][i] = m.HEAP16[j] / 32767;
      }
      parts.push(part);
      return produced;
    };
    try {
      for (let c = 0; c < channels; ++c) {
        for (let i = 0; i < frames; ++i) m.HEAP16[(input >> 1) + i * channels + c] = planar[c][i] * 32768;
      }
      for (let at = 0; at < frames;) {
        m._wavfx_effect_flow_int16(this.handle, input + at * channels * 2, frames - at, room, kBlock,
          this.counts, this.counts + 4);
        at += m.HEAPU32[this.counts >> 2];
        take();
      }
      this.flushed = this.reshapes;
      do m._wavfx_effect_flush_int16(this.handle, room, kBlock, this.counts + 4);
      while (take() > 0);
      return concat(parts, out);
    } finally {
      m._free(input);
      m._free(room);
    }
  }

  // The C calls refuse a reshaping stream's input after its flush (WAVFX_ERROR_FLUSHED); a clear
  // error here rather than a loop that takes nothing.
  checkNotFlushed() {
    if (this.flushed) throw new WavfxError('the stream was flushed: reset() starts a new one');
  }

  reset() {
    this.flushed = false;
    if (this.handle) this.module._wavfx_effect_reset(this.handle);
  }

  dispose() {
    if (!this.handle) return;
    const m = this.module;
    m._wavfx_effect_destroy(this.handle);
    m._free(this.input);
    m._free(this.output);
    m._free(this.planar);
    m._free(this.counts);
    this.handle = 0;
  }

  collect(parts) {
    const produced = this.module.HEAPU32[(this.counts >> 2) + 1];
    if (produced > 0) {
      const part = Array.from({ length: this.outputChannels }, () => new Float32Array(produced));
      this.fromHeap(this.output, this.outputChannels, part, 0, produced);
      parts.push(part);
    }
    return produced;
  }

  // Frames at..at + count of planar channels, interleaved into the heap at `to` (the copies are
  // block moves; the library interleaves).
  toHeap(planar, at, count, to) {
    const m = this.module;
    for (let c = 0; c < planar.length; ++c) {
      m.HEAPF32.set(planar[c].subarray(at, at + count), (this.planar >> 2) + c * kBlock);
    }
    m._wavfx_web_interleave(this.planar, kBlock, planar.length, count, to);
  }

  fromHeap(from, channels, planar, at, count) {
    const m = this.module;
    m._wavfx_web_deinterleave(from, channels, count, this.planar, kBlock);
    const base = this.planar >> 2;
    for (let c = 0; c < channels; ++c) {
      planar[c].set(m.HEAPF32.subarray(base + c * kBlock, base + c * kBlock + count), at);
    }
  }
}

// The frames of planar channels: Float32Arrays (or Float64Arrays), all of one length.
function framesOf(planar, what = 'planar') {
  if (!Array.isArray(planar)) throw new WavfxError(`${what} must be an array of channels`);
  const frames = planar[0]?.length ?? 0;
  planar.forEach((channel, c) => {
    if (!(channel instanceof Float32Array || channel instanceof Float64Array)) {
      throw new WavfxError(`${what}[${c}] is not a Float32Array`);
    }
    if (channel.length !== frames) {
      throw new WavfxError(`${what}[${c}] holds ${channel.length} frames and ${what}[0] ${frames}: ` +
        'channels must be equally long');
    }
  });
  return frames;
}

function checkText(text) {
  if (typeof text !== 'string') throw new WavfxError(`the chain must be a string, not ${typeof text}`);
}

// A stream's shape as the C API takes it: 1 to 65535 channels and a whole rate in hertz.
function checkStream(channels, sampleRate) {
  if (!Number.isInteger(channels) || channels < 1 || channels > 65535 ||
      !Number.isInteger(sampleRate) || sampleRate < 1 || sampleRate > 0xffffffff) {
    throw new WavfxError(`a stream needs 1 to 65535 channels and a whole sample rate in Hz ` +
      `(${channels} channels and ${sampleRate} Hz given)`);
  }
}

function interleave(planar, at, count, heap, base) {
  const channels = planar.length;
  for (let c = 0; c < channels; ++c) {
    const source = planar[c];
    for (let i = 0, j = base + c; i < count; ++i, j += channels) heap[j] = source[at + i];
  }
}

function concat(parts, channels) {
  const frames = parts.reduce((sum, part) => sum + part[0].length, 0);
  const out = Array.from({ length: channels }, () => new Float32Array(frames));
  let at = 0;
  for (const part of parts) {
    for (let c = 0; c < channels; ++c) out[c].set(part[c], at);
    at += part[0].length;
  }
  return out;
}

// Copies strings (null stays NULL) into the heap; with `use` runs it and frees them, otherwise
// returns { pointers, free }.
function withStrings(m, strings, use) {
  const pointers = strings.map((s) => {
    if (s === null) return 0;
    const size = m.lengthBytesUTF8(s) + 1;
    const p = m._malloc(size);
    m.stringToUTF8(s, p, size);
    return p;
  });
  const free = () => pointers.forEach((p) => p && m._free(p));
  if (!use) return { pointers, free };
  try {
    return use(pointers);
  } finally {
    free();
  }
}

function stats(m, at) {
  const f = m.HEAPF64.subarray(at >> 3, (at >> 3) + 9);
  const u = m.HEAPU32.subarray(at >> 2, (at >> 2) + 17);
  return {
    dcOffset: f[0], min: f[1], max: f[2], peak: f[3], truePeak: f[4], rms: f[5],
    crestFactor: f[6], fullScale: u[14] + u[15] * 2 ** 32, bitDepth: m.HEAP32[(at >> 2) + 16],
  };
}

function history(m, meter, shortTerm) {
  const count = m._wavfx_meter_history(meter, shortTerm, 0, 0, 0);
  const values = m._malloc(Math.max(count, 1) * 8);
  try {
    m._wavfx_meter_history(meter, shortTerm, 0, values, count);
    return m.HEAPF64.slice(values >> 3, (values >> 3) + count);
  } finally {
    m._free(values);
  }
}

// A WAV file's samples as planar floats in full scale -1..1: PCM of 8 to 32 bits and 32- or
// 64-bit floats (WAVE_FORMAT_EXTENSIBLE too). Integers enter as s * 2^(1 - bits), as the
// library reads them.
export function readWav(input) {
  const view = new DataView(input instanceof ArrayBuffer ? input : input.buffer,
    input.byteOffset ?? 0, input.byteLength);
  const tag = (at) => String.fromCharCode(...new Uint8Array(view.buffer, view.byteOffset + at, 4));
  if (view.byteLength < 12 || tag(0) !== 'RIFF' || tag(8) !== 'WAVE') {
    throw new WavfxError('not a RIFF WAVE file');
  }
  let format = null;
  for (let at = 12; at + 8 <= view.byteLength;) {
    const size = view.getUint32(at + 4, true);
    const body = at + 8;
    if (tag(at) === 'fmt ') {
      let code = view.getUint16(body, true);
      if (code === 0xfffe) code = view.getUint16(body + 24, true);
      format = {
        code, channels: view.getUint16(body + 2, true),
        sampleRate: view.getUint32(body + 4, true), bits: view.getUint16(body + 14, true),
      };
    } else if (tag(at) === 'data' && format) {
      const held = view.byteLength - body;
      const read = decode(view, body, Math.min(size, held), format);
      // A file cut short fails as the command line's read does; a size of 0x7FFFF000 or more is
      // a stream's "to the end".
      const declared = Math.floor(size / ((format.bits / 8) * format.channels));
      if (size > held && size < 0x7ffff000 && declared > read.data[0].length) {
        throw new WavfxError(`read failed: ${read.data[0].length} of the ${declared} frames the ` +
          'file declares could be decoded', kJobReadFailed);
      }
      return read;
    }
    at = body + size + (size & 1);
  }
  throw new WavfxError(format ? 'no data chunk' : 'no fmt chunk');
}

function decode(view, at, size, { code, channels, sampleRate, bits }) {
  const width = bits / 8;
  const isFloat = code === 3;
  if (!channels || !bits || (isFloat ? bits !== 32 && bits !== 64 : code !== 1 || bits % 8 || bits > 32)) {
    throw new WavfxError(`unsupported WAV encoding (format ${code}, ${bits} bits)`);
  }
  const frames = Math.floor(size / (width * channels));
  const data = Array.from({ length: channels }, () => new Float32Array(frames));
  const scale = 2 ** (1 - bits);
  for (let f = 0, p = at; f < frames; ++f) {
    for (let c = 0; c < channels; ++c, p += width) {
      let value;
      if (isFloat) value = bits === 32 ? view.getFloat32(p, true) : view.getFloat64(p, true);
      else if (bits === 8) value = (view.getUint8(p) - 128) * scale;
      else if (bits === 16) value = view.getInt16(p, true) * scale;
      else if (bits === 24) value = ((view.getInt8(p + 2) << 16) | view.getUint16(p, true)) * scale;
      else value = Math.fround(view.getInt32(p, true)) * scale;
      data[c][f] = value;
    }
  }
  return { channels, sampleRate, bits: isFloat ? 'float' : bits, data };
}

// Planar floats as a WAV file: PCM of 8, 16, 24 or 32 bits (floor(x (2^(bits-1) - 1) + 0.5),
// clamped, NaN as 0: the library's conversion) or 32-bit floats with bits 'float'. `extensible`
// lays the header out as the command line's general path writes it (a JUNK chunk kept for RF64,
// WAVE_FORMAT_EXTENSIBLE, a fact chunk).
export function writeWav(planar, sampleRate, bits = 16, extensible = false) {
  const isFloat = bits === 'float';
  const depth = isFloat ? 32 : Number(bits);
  if (!isFloat && ![8, 16, 24, 32].includes(depth)) throw new WavfxError(`bits ${bits}: 8, 16, 24, 32 or 'float'`);
  const frames = framesOf(planar);
  checkStream(planar.length, sampleRate);
  const channels = planar.length;
  const width = depth / 8;
  const size = frames * channels * width;
  const fmtSize = extensible ? 40 : isFloat ? 18 : 16;
  const header = 12 + (extensible ? 32 : 0) + 8 + fmtSize + (extensible || isFloat ? 12 : 0) + 8;
  const view = new DataView(new ArrayBuffer(header + size + (size & 1)));
  const text = (at, s) => [...s].forEach((ch, i) => view.setUint8(at + i, ch.charCodeAt(0)));
  text(0, 'RIFF');
  view.setUint32(4, view.byteLength - 8, true);
  text(8, 'WAVE');
  let at = 12;
  if (extensible) {
    text(at, 'JUNK');
    view.setUint32(at + 4, 24, true);
    at += 32;
  }
  text(at, 'fmt ');
  view.setUint32(at + 4, fmtSize, true);
  view.setUint16(at + 8, extensible ? 0xfffe : isFloat ? 3 : 1, true);
  view.setUint16(at + 10, channels, true);
  view.setUint32(at + 12, sampleRate, true);
  view.setUint32(at + 16, sampleRate * channels * width, true);
  view.setUint16(at + 20, channels * width, true);
  view.setUint16(at + 22, depth, true);
  if (extensible) {
    const masks = { 1: 0x4, 2: 0x3, 4: 0x33, 6: 0x3f, 8: 0x63f };
    view.setUint16(at + 24, 22, true);
    view.setUint16(at + 26, depth, true);
    view.setUint32(at + 28, masks[channels] ?? 0, true);
    view.setUint16(at + 32, isFloat ? 3 : 1, true);
    [0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71]
      .forEach((byte, i) => view.setUint8(at + 34 + i, byte));
  }
  at += 8 + fmtSize;
  if (extensible || isFloat) {
    text(at, 'fact');
    view.setUint32(at + 4, 4, true);
    view.setUint32(at + 8, frames, true);
    at += 12;
  }
  text(at, 'data');
  view.setUint32(at + 4, size, true);
  const top = 2 ** (depth - 1) - 1;
  for (let f = 0, p = at + 8; f < frames; ++f) {
    for (let c = 0; c < channels; ++c, p += width) {
      const x = planar[c][f];
      if (isFloat) {
        view.setFloat32(p, x, true);
        continue;
      }
      const scaled = Math.min(Math.max(Math.floor((x === x ? x : 0) * top + 0.5), -top - 1), top);
      if (depth === 8) view.setUint8(p, scaled + 128);
      else if (depth === 16) view.setInt16(p, scaled, true);
      else if (depth === 24) {
        view.setUint16(p, scaled & 0xffff, true);
        view.setInt8(p + 2, scaled >> 16);
      } else view.setInt32(p, scaled, true);
    }
  }
  return view.buffer;
}
