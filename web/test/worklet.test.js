// The AudioWorklet processor run quantum by quantum: the package's bytes, parameters that take
// effect from the next quantum, refusals as messages.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { loadWavfx } from '../src/wavfx.js';
import { createProcessor } from './worklet_scope.js';
import { makeSignal } from './signals.js';

const fx = await loadWavfx();
const quanta = 200;
const samples = makeSignal('mix', 2, 44100);
const input = [0, 1].map((c) => Float32Array.from({ length: 128 * quanta }, (_, f) => samples[2 * f + c] / 32768));

// Quanta of `size` frames: 128, or larger as a context configured for them hands over.
function run(processor, parameters, change = () => {}, size = 128) {
  const out = [new Float32Array(128 * quanta), new Float32Array(128 * quanta)];
  for (let q = 0; q < (128 * quanta) / size; ++q) {
    change(q, parameters);
    const output = [[new Float32Array(size), new Float32Array(size)]];
    processor.process([input.map((channel) => channel.subarray(size * q, size * q + size))], output, parameters);
    output[0].forEach((channel, c) => out[c].set(channel, size * q));
  }
  return out;
}

const bytes = (a) => Buffer.from(a.buffer, a.byteOffset, a.byteLength);
const same = (a, b) => a.every((channel, c) => bytes(channel).equals(bytes(b[c])));

test('the processor gives the package\'s bytes', async () => {
  const text = 'lowpass=cutoff=3000,chorus=rate=0.8:feedback=0.4,compress,reverb';
  // The binary beside the loader, as a page hands it over.
  const wasmBinary = readFileSync(new URL('../dist/wavfx.wasm', import.meta.url));
  const { processor, parameters } = await createProcessor({ chain: text, wasmBinary });
  assert.deepEqual(processor.port.messages, [{ ready: text }]);
  assert.ok(same(run(processor, parameters), fx.chain(text).process(input)));
  // Within the buffer it allocated for a quantum: the heap beyond it stays as it was.
  const larger = await createProcessor({ chain: text, wasmBinary });
  const { m, samples } = larger.processor;
  const beyond = () => m.HEAPU8.slice(samples + 128 * 2 * 4, samples + 640 * 2 * 4);
  const before = beyond();
  assert.ok(same(run(larger.processor, larger.parameters, undefined, 640), fx.chain(text).process(input)));
  assert.ok(Buffer.from(beyond()).equals(Buffer.from(before)));
});

test('an AudioParam changes its stage from the next quantum on', async () => {
  const { processor, parameters } = await createProcessor({ chain: 'gain=db=-3,echo' });
  const out = run(processor, parameters, (q, p) => q === 50 && (p['0.db'][0] = -9));
  const before = fx.chain('gain=db=-3,echo').process(input.map((c) => c.subarray(0, 128 * 50)));
  assert.ok(same(out.map((c) => c.subarray(0, 128 * 50)), before));
  const gains = fx.chain('gain=db=-9').process(input);
  const after = fx.chain('echo');
  after.process(fx.chain('gain=db=-3').process(input.map((c) => c.subarray(0, 128 * 50))));
  const tail = after.process(gains.map((c) => c.subarray(128 * 50)));
  assert.ok(same(out.map((c) => c.subarray(128 * 50)), tail));
});

test('refusals come back as messages and keep the running chain', async () => {
  const { processor } = await createProcessor({ chain: 'gain=db=-3' });
  processor.port.onmessage({ data: { chain: 'echo=dely=3' } });
  processor.port.onmessage({ data: { chain: 'resample=rate=8000' } });
  const [, refused, reshaping] = processor.port.messages;
  assert.equal(refused.error, "stage 1 (echo): unknown parameter 'dely' (it takes delay, feedback, wet, dry)");
  assert.match(reshaping.error, /^stage 1: the worklet runs stages that keep the stream/);
  assert.equal(processor.stages.length, 1);
});
