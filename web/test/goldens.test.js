// The golden tables reproduced from the package, row for row as tests/golden/golden_main.cpp
// makes them: plain names through WAVEffect, chains through the file job, reshaping chains
// through the flow calls (blocks of 1000 frames, 777 frames of room), other depths in memory.
// WAVFX_WEB_BUILD=simd checks the SIMD build.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { readFileSync } from 'node:fs';
import { loadWavfx } from '../src/wavfx.js';
import { signalNames, channelCounts, sampleRates, makeSignal, wav16 } from './signals.js';

const root = new URL('../../tests/golden/', import.meta.url);
const table = new Map();
const plainNames = new Set(); // the first table's: WAVEffect's names
for (const name of ['goldens.txt', 'extended_goldens.txt']) {
  for (const line of readFileSync(new URL(name, root), 'utf8').split('\n')) {
    const [effect, signal, channels, rate, hash] = line.split(' ');
    if (hash) table.set(`${effect} ${signal} ${channels} ${rate}`, hash);
    if (hash && name === 'goldens.txt') plainNames.add(effect);
  }
}

const sha256 = (bytes) => createHash('sha256').update(bytes).digest('hex');
const fx = await loadWavfx({ simd: process.env.WAVFX_WEB_BUILD === 'simd' });
const m = fx.module;

function heapString(text, wide = false) {
  const p = m._malloc(2 * text.length + 2);
  if (wide) [...text, '\0'].forEach((ch, i) => (m.HEAPU16[(p >> 1) + i] = ch.charCodeAt(0)));
  else m.stringToUTF8(text, p, 2 * text.length + 2);
  return p;
}

function fileJob(effect, input) {
  m.FS.writeFile('/golden-in.wav', new Uint8Array(input));
  const [from, to, name] = [heapString('/golden-in.wav', true), heapString('/golden-out.wav', true),
    heapString(effect, true)];
  const status = m._WAVEffect(from, to, name);
  [from, to, name].forEach((p) => m._free(p));
  assert.equal(status, 999, `${effect}: status`);
  const out = m.FS.readFile('/golden-out.wav');
  m.FS.unlink('/golden-out.wav');
  return sha256(out);
}

// Chains that measure their input are measured in memory first, as the file job would measure
// the file; a chain that does not fit the stream gives the hash of its one line.
function chainJob(effect, samples, channels, rate, input) {
  let text = effect;
  if (/norm/.test(effect)) {
    const floats = m._malloc(samples.length * 4);
    samples.forEach((s, i) => (m.HEAPF32[(floats >> 2) + i] = s / 32768));
    const room = 4096;
    const out = m._malloc(room);
    const error = m._malloc(260);
    const p = heapString(effect);
    const length = m._wavfx_chain_measure(p, channels, rate, floats, samples.length / channels,
      out, room, error);
    text = length ? m.UTF8ToString(out) : null;
    if (!text) text = { refused: m.UTF8ToString(error + 4) };
    [floats, out, error, p].forEach((q) => m._free(q));
    if (text.refused) return sha256(text.refused);
  }
  try {
    return sha256(new Uint8Array(fx.processWav(input, text)));
  } catch (error) {
    if (error.name !== 'WavfxError') throw error;
    return sha256(error.message);
  }
}

function reshapingJob(effect, samples, channels, rate) {
  const error = m._malloc(260);
  const p = heapString(effect);
  const handle = m._wavfx_chain_create(p, channels, rate, error);
  m._free(p);
  if (!handle) {
    const message = m.UTF8ToString(error + 4);
    m._free(error);
    return sha256(message);
  }
  m._free(error);
  const outChannels = m._wavfx_effect_output_channels(handle);
  const input = m._malloc(samples.length * 2);
  m.HEAP16.set(samples, input >> 1);
  const room = m._malloc(777 * outChannels * 2);
  const counts = m._malloc(8);
  const parts = [];
  const take = () => {
    const produced = m.HEAPU32[(counts >> 2) + 1];
    parts.push(m.HEAPU8.slice(room, room + produced * outChannels * 2));
    return produced;
  };
  const frames = samples.length / channels;
  for (let at = 0; at < frames;) {
    m._wavfx_effect_flow_int16(handle, input + at * channels * 2, Math.min(1000, frames - at),
      room, 777, counts, counts + 4);
    take();
    at += m.HEAPU32[counts >> 2];
  }
  do m._wavfx_effect_flush_int16(handle, room, 777, counts + 4);
  while (take() > 0);
  const hash = createHash('sha256').update(`${outChannels} ${m._wavfx_effect_output_sample_rate(handle)} `);
  parts.forEach((part) => hash.update(part));
  [input, room, counts].forEach((q) => m._free(q));
  m._wavfx_effect_destroy(handle);
  return hash.digest('hex');
}

function widen(samples, bits) {
  const wide = new Int32Array(samples.length);
  for (let i = 0; i < samples.length; ++i) {
    const s = samples[i];
    const filler = Math.imul(i, 2654435761) >>> 24;
    wide[i] = bits === 8 ? Math.trunc(s / 256) : bits === 24 ? s * 256 + filler : s * 65536 + filler * 257;
  }
  return wide;
}

function depthJob(effect, samples, channels, rate, bits) {
  const wide = widen(samples, bits === 0 ? 24 : bits);
  const handle = m._wavfx_chain_create(heapString(effect), channels, rate, 0);
  const buffer = m._malloc(wide.length * 4);
  if (bits === 0) wide.forEach((s, i) => (m.HEAPF32[(buffer >> 2) + i] = Math.fround(s) * 2 ** -23));
  else m.HEAP32.set(wide, buffer >> 2);
  const frames = wide.length / channels;
  for (let at = 0; at < frames; at += 1000) {
    const count = Math.min(1000, frames - at);
    const p = buffer + at * channels * 4;
    if (bits === 0) m._wavfx_effect_process_float(handle, p, count);
    else m._wavfx_web_process_ints(handle, p, count, bits);
  }
  const hash = sha256(m.HEAPU8.subarray(buffer, buffer + wide.length * 4));
  m._free(buffer);
  m._wavfx_effect_destroy(handle);
  return hash;
}

function reshapes(effect) {
  try {
    const chain = fx.chain(effect, { channels: 2, sampleRate: 44100 });
    chain.dispose();
    return chain.reshapes;
  } catch {
    return false;
  }
}

test('every row of the golden tables from the package', { timeout: 3_600_000 }, () => {
  const rows = [...table.keys()].map((key) => key.split(' '));
  const effects = [...new Set(rows.map(([effect]) => effect))];
  const reshaping = new Set(effects.filter((e) => !e.includes('@') && reshapes(e)));
  const bySignal = new Map();
  for (const [effect, signal, channels, rate] of rows) {
    const key = `${signal} ${channels} ${rate}`;
    if (!bySignal.has(key)) bySignal.set(key, []);
    bySignal.get(key).push(effect);
  }
  const mismatches = [];
  let checked = 0;
  for (const name of signalNames) {
    for (const channels of channelCounts) {
      for (const rate of sampleRates) {
        const samples = makeSignal(name, channels, rate);
        const input = wav16(samples, channels, rate);
        for (const effect of bySignal.get(`${name} ${channels} ${rate}`) ?? []) {
          const [base, depth] = effect.split('@');
          const hash = depth ? depthJob(base, samples, channels, rate, depth === 'float' ? 0 : +depth)
            : reshaping.has(effect) ? reshapingJob(effect, samples, channels, rate)
            : plainNames.has(effect) ? fileJob(effect, input)
            : chainJob(effect, samples, channels, rate, input);
          const key = `${effect} ${name} ${channels} ${rate}`;
          if (hash !== table.get(key)) mismatches.push(key);
          ++checked;
        }
      }
    }
  }
  assert.equal(checked, table.size);
  assert.deepEqual(mismatches.slice(0, 20), [], `${mismatches.length} of ${checked} rows differ`);
  console.log(`wasm ${process.env.WAVFX_WEB_BUILD ?? 'scalar'}: all ${checked} outputs match the tables`);
});
