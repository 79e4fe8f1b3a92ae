// Processor seconds of the package per chain over a WAV file, the median of ROUNDS, as
// bench/in_memory.cpp prints them: "chain<TAB>seconds". With --worklet, microseconds per
// 128-frame quantum of the AudioWorklet processor for each chain instead.
// Usage: node web/bench/speed.js [--simd] [--worklet] FILE ROUNDS CHAIN...
import { readFileSync } from 'node:fs';
import { loadWavfx } from '../src/wavfx.js';

const args = process.argv.slice(2);
const flag = (name) => (args.includes(name) ? (args.splice(args.indexOf(name), 1), true) : false);
const simd = flag('--simd');
const worklet = flag('--worklet');
const [file, rounds, ...chains] = args;
const fx = await loadWavfx({ simd });
const { data, sampleRate } = fx.readWav(readFileSync(file));
const seconds = () => {
  const { user, system } = process.cpuUsage();
  return (user + system) / 1e6;
};
const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const n = sorted.length;
  return n % 2 ? sorted[(n - 1) / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
};

async function quantumSeconds(text) {
  const { createProcessor } = await import('../test/worklet_scope.js');
  globalThis.sampleRate = sampleRate;
  const { processor, parameters } = await createProcessor({ chain: text });
  if (!processor.stages.length) throw new Error(processor.port.messages.at(-1).error);
  const quanta = Math.floor(data[0].length / 128);
  const input = [data.map(() => new Float32Array(128))];
  const output = [data.map(() => new Float32Array(128))];
  const start = seconds();
  for (let q = 0; q < quanta; ++q) {
    input[0].forEach((channel, c) => channel.set(data[c].subarray(128 * q, 128 * q + 128)));
    processor.process(input, output, parameters);
  }
  return (seconds() - start) / quanta;
}

for (const text of chains) {
  const times = [];
  for (let round = 0; round < Number(rounds); ++round) {
    if (worklet) {
      times.push(await quantumSeconds(text));
      continue;
    }
    const chain = fx.chain(text, { channels: data.length, sampleRate });
    const start = seconds();
    chain.process(data);
    chain.flush();
    times.push(seconds() - start);
    chain.dispose();
  }
  console.log(`${text}\t${median(times).toFixed(worklet ? 9 : 6)}`);
}
