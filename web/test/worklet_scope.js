// AudioWorkletGlobalScope as far as web/src/worklet.js uses it, to run the processor in Node.
const registered = new Map();
globalThis.sampleRate = 44100;
globalThis.AudioWorkletProcessor = class {
  constructor() {
    this.port = { messages: [], postMessage(message) { this.messages.push(message); } };
  }
};
globalThis.registerProcessor = (name, processor) => registered.set(name, processor);
await import('../src/worklet.js');

// A processor and the AudioParam values Web Audio would hand it: every parameter at its default.
export async function createProcessor(processorOptions) {
  const Processor = registered.get('wavfx-chain');
  const processor = new Processor({ processorOptions });
  await processor.ready;
  const parameters = {};
  for (const { name, defaultValue } of Processor.parameterDescriptors) {
    parameters[name] = new Float32Array([defaultValue]);
  }
  return { processor, parameters };
}
