// The package against the native command line (build/wavfx): the same error lines, the same
// file bytes, and streams cut anywhere giving what one call gives.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { loadWavfx } from '../src/wavfx.js';
import { makeSignal, wav16 } from './signals.js';

const cli = new URL('../../build/wavfx', import.meta.url).pathname;
const fx = await loadWavfx();
const work = mkdtempSync(join(process.env.WAVFX_WEB_TMP ?? tmpdir(), 'wavfx-web-'));
process.on('exit', () => rmSync(work, { recursive: true, force: true }));

function runCli(input, chain, ...options) {
  const from = join(work, 'in.wav');
  const to = join(work, 'out.wav');
  writeFileSync(from, new Uint8Array(input));
  const run = spawnSync(cli, ['-q', ...options, from, to, chain], { encoding: 'utf8' });
  return run.status === 0 ? readFileSync(to) : { error: run.stderr.trim() };
}

const stereo = wav16(makeSignal('mix', 2, 44100).subarray(0, 2 * 30000), 2, 44100);

test('refused chains give the command line\'s one line', () => {
  const chains = ['echo=dely=3', 'gain=db=x', 'gain=db=61', 'resample=rate=8000,', ',', 'nosuch=a=1',
    'remix=map=3', 'lowpass=poles=2:cutoff=30000', 'trim=start=-1', 'echo=delay=1:delay=2',
    'fade=shape=cubic', 'norm=level=1', 'lowpass=cutoff=1e999', 'gain=db=++3',
    Array(33).fill('gain').join(',')];
  for (const chain of chains) {
    const native = runCli(stereo, chain);
    assert.ok(native.error, `${chain}: the command line accepts it`);
    assert.throws(() => fx.chain(chain, { channels: 2, sampleRate: 44100 }).dispose(),
      (error) => error.name === 'WavfxError' && `Error: ${error.message}` === native.error,
      `${chain}: ${native.error}`);
  }
});

test('bad stream shapes and planar data are refused with WavfxError, never a crash', () => {
  const gain = fx.chain('gain=db=-3', { channels: 2, sampleRate: 48000 });
  const two = (a, b) => [new Float32Array(a), new Float32Array(b)];
  const cases = [
    [() => fx.chain('gain', { channels: 1.5 }), /1 to 65535 channels/],
    [() => fx.chain('gain', { channels: 70000 }), /1 to 65535 channels/],
    [() => fx.chain('gain', { sampleRate: -5 }), /whole sample rate/],
    [() => fx.chain(42), /must be a string/],
    [() => gain.process(two(10, 20)), /equally long/],
    [() => gain.process([[0.1], [0.2]]), /not a Float32Array/],
    [() => gain.process(two(100, 100), two(10, 10)), /into must hold/],
    [() => fx.writeWav([], 44100), /1 to 65535 channels/],
    [() => fx.writeWav(two(3, 3), 0), /whole sample rate/],
    [() => fx.measure(two(3, 5), 48000), /equally long/],
  ];
  for (const [call, message] of cases) {
    assert.throws(call, (error) => error.name === 'WavfxError' && message.test(error.message));
  }
  gain.dispose();
});

test('processWav gives the command line\'s bytes', () => {
  const mono = wav16(makeSignal('sweep', 1, 8000), 1, 8000);
  const cases = [
    [stereo, 'lowpass=cutoff=1200,echo,reverb'], [stereo, 'chorus=rate=0.8:feedback=0.4'],
    [mono, 'compress,limiter'], [stereo, 'dither=seed=3'], [stereo, 'none'], [stereo, 'gain=db=0'],
    [stereo, 'resample=rate=16000,fade=out=0.2'], [mono, 'trim=start=0.1,pad=end=0.1'],
    [stereo, 'norm=level=-1'], [stereo, 'loudnorm'], [stereo, 'echo', 'float'], [mono, 'gain=db=-3', 24],
    [stereo, 'tempo=factor=0.8', 32],
  ];
  for (const [input, chain, bits] of cases) {
    // A view into a larger buffer (as Node's Buffers are) holds just its own bytes.
    const view = new Uint8Array(input.byteLength + 16).fill(7).subarray(8, 8 + input.byteLength);
    view.set(new Uint8Array(input));
    const ours = Buffer.from(fx.processWav(view, chain, { bits }));
    const native = runCli(input, chain, ...(bits ? ['--bits', String(bits)] : []));
    assert.ok(ours.equals(native), `${chain} ${bits ?? ''}`);
  }
});

test('a file cut short fails as the command line\'s job does', () => {
  const planar = [0, 1].map(() => Float32Array.from({ length: 3000 }, (_, i) => Math.sin(i / 9) / 2));
  for (const bits of [16, 24, 'float']) {
    const whole = new Uint8Array(fx.writeWav(planar, 22050, { bits }));
    const cut = whole.subarray(0, whole.length - 101);
    const native = runCli(cut, 'gain=db=-3');
    assert.throws(() => fx.processWav(cut, 'gain=db=-3'),
      (error) => `Error: ${error.message}` === native.error && error.code === 2, String(bits));
  }
});

test('a stream cut at random gives what one call gives, the flush included', () => {
  const samples = makeSignal('mix', 2, 22050);
  const frames = samples.length / 2;
  const planar = [0, 1].map((c) => Float32Array.from({ length: frames }, (_, f) => samples[2 * f + c] / 32768));
  let seed = 12345;
  const random = (n) => (seed = (Math.imul(seed, 1103515245) + 12345) >>> 0) % n;
  for (const text of ['echo,chorus,compress', 'resample=rate=8000,fade=out=0.3', 'tempo=factor=1.3',
    'speed=factor=1.1,trim=start=0.1:end=0.3',
    'limiter=ceiling=-6,pad=end=0.2', 'phaser,gate']) {
    const whole = fx.chain(text, { channels: 2, sampleRate: 22050 });
    const expected = join2(whole.process(planar), whole.flush());
    if (whole.reshapes) assert.throws(() => whole.process(planar), /flushed/, text);
    whole.reset();
    const again = join2(whole.process(planar), whole.flush());
    const cut = fx.chain(text, { channels: 2, sampleRate: 22050 });
    const parts = [];
    for (let at = 0; at < frames;) {
      const count = Math.min(frames - at, random(5000));
      parts.push(cut.process(planar.map((channel) => channel.subarray(at, at + count))));
      at += count;
    }
    parts.push(cut.flush());
    const streamed = parts.reduce(join2);
    const results = [again, streamed];
    if (!whole.reshapes) {
      whole.reset();
      const copy = planar.map((channel) => channel.slice());
      results.push(join2(whole.process(copy, copy), whole.flush()));
    }
    for (const result of results) {
      assert.equal(result[0].length, expected[0].length, text);
      result.forEach((channel, c) => assert.ok(Buffer.from(channel.buffer).equals(Buffer.from(expected[c].buffer)), text));
    }
    whole.dispose();
    cut.dispose();
  }
});

function join2(a, b) {
  return a.map((channel, c) => {
    const out = new Float32Array(channel.length + b[c].length);
    out.set(channel);
    out.set(b[c], channel.length);
    return out;
  });
}

test('measure reports what --stats --json reports', () => {
  const demo = readFileSync(new URL('../../demo/demo.wav', import.meta.url));
  const native = JSON.parse(execFileSync(cli, ['--stats', '--json', new URL('../../demo/demo.wav', import.meta.url).pathname]));
  const { data, sampleRate } = fx.readWav(demo);
  const ours = fx.measure(data, sampleRate);
  // The same sums; the decibels from each platform's log10, which may differ in the last bit.
  const near = (a, b) => Math.abs(a - b) <= 1e-14 * Math.abs(b);
  assert.ok(near(ours.integrated, native.integrated_lufs));
  assert.ok(near(ours.range, native.loudness_range_lu));
  assert.ok(near(ours.truePeak, native.true_peak_dbtp));
  assert.ok(near(ours.samplePeak, native.sample_peak_dbfs));
  assert.equal(ours.frames, native.frames);
});
