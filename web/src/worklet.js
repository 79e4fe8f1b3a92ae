// The AudioWorkletProcessor 'wavfx-chain': a chain of in-place stages in real time. Its numeric
// parameters are k-rate AudioParams named '<stage>.<parameter>' ('0.db'); a parameter left at its
// default (kUnset) keeps the chain text's value, and a change keeps what runs on (filter
// memories, phases, envelopes), as the plugins' controls do. Nothing allocates in process().
//   new AudioWorkletNode(ctx, 'wavfx-chain', { outputChannelCount: [2],
//     processorOptions: { chain: 'gain=db=-3,chorus', wasmBinary, channels: 2 } })
// node.port.postMessage({ chain }) replaces the chain; refusals come back as { error }, a chain
// in place as { ready: chain }.
import createWavfxModule from '../dist/wavfx.js';
import { parameterNames } from '../dist/parameters.js';

export const kStages = 8;
export const kUnset = -3.4028234663852886e38;
const kQuantum = 128;

class WavfxChainProcessor extends AudioWorkletProcessor {
  static get parameterDescriptors() {
    const descriptors = [];
    for (let s = 0; s < kStages; ++s) {
      for (const name of parameterNames) {
        descriptors.push({ name: `${s}.${name}`, defaultValue: kUnset, minValue: kUnset,
          maxValue: -kUnset, automationRate: 'k-rate' });
      }
    }
    return descriptors;
  }

  constructor(options = {}) {
    super();
    const { chain = 'none', wasmBinary, channels = 2 } = options.processorOptions ?? {};
    this.channels = channels;
    this.stages = [];
    this.controls = [];
    this.pending = chain;
    this.port.onmessage = ({ data }) => {
      if (typeof data?.chain !== 'string') return;
      this.pending = data.chain;
      if (this.m) this.load();
    };
    this.ready = createWavfxModule(wasmBinary ? { wasmBinary } : {}).then((m) => {
      this.m = m;
      this.samples = m._malloc(kQuantum * channels * 4);
      this.load();
    }, (error) => this.port.postMessage({ error: String(error) }));
  }

  // Builds the stages of the pending chain; the old ones stay when it is refused.
  load() {
    const m = this.m;
    const text = this.pending;
    const error = m._malloc(260);
    const p = m._malloc(m.lengthBytesUTF8(text) + 1);
    m.stringToUTF8(text, p, m.lengthBytesUTF8(text) + 1);
    const whole = m._wavfx_chain_create(p, this.channels, sampleRate, error);
    const message = whole ? null : m.UTF8ToString(error + 4);
    const stages = [];
    if (whole) {
      const count = m._wavfx_web_stage_count(p);
      for (let i = 0; i < count; ++i) {
        const stage = m._wavfx_web_stage_create(p, i, this.channels, sampleRate);
        if (!stage) break;
        stages.push(stage);
      }
      m._wavfx_effect_destroy(whole);
      if (stages.length !== count) {
        stages.forEach((s) => m._wavfx_web_stage_destroy(s));
        stages.length = 0;
      }
    }
    m._free(p);
    m._free(error);
    if (message || !stages.length) {
      this.port.postMessage({ error: message ?? `stage ${stages.length + 1}: the worklet runs ` +
        'stages that keep the stream as it is (no resampling, trimming, remixing or look-ahead)' });
      return;
    }
    this.stages.forEach((s) => m._wavfx_web_stage_destroy(s));
    this.stages = stages;
    this.controls = this.bindControls(stages);
    this.port.postMessage({ ready: text });
  }

  bindControls(stages) {
    const m = this.m;
    this.effects ??= JSON.parse(m.UTF8ToString(m._wavfx_web_effects_json()));
    const controls = [];
    stages.forEach((stage, s) => {
      if (s >= kStages) return;
      this.effects[m._wavfx_web_stage_family(stage)].parameters.forEach((parameter, index) => {
        if (parameterNames.includes(parameter.name)) {
          controls.push({ name: `${s}.${parameter.name}`, stage, index, last: kUnset });
        }
      });
    });
    return controls;
  }

  process(inputs, outputs, parameters) {
    const output = outputs[0];
    const input = inputs[0];
    const frames = output[0]?.length ?? 0;
    if (!this.stages.length) {
      for (let c = 0; c < output.length; ++c) {
        if (input.length) output[c].set(input[Math.min(c, input.length - 1)]);
      }
      return true;
    }
    const m = this.m;
    for (let i = 0; i < this.controls.length; ++i) {
      const control = this.controls[i];
      const value = parameters[control.name][0];
      if (value !== control.last) {
        control.last = value;
        if (value !== kUnset) m._wavfx_web_stage_set(control.stage, control.index, value);
      }
    }
    const channels = this.channels;
    const base = this.samples >> 2;
    // Quanta of 128 frames, or what a context configured for larger ones hands over, a part at
    // a time through the buffer allocated up front.
    for (let at = 0; at < frames; at += kQuantum) {
      const count = Math.min(kQuantum, frames - at);
      const heap = m.HEAPF32;
      for (let c = 0; c < channels; ++c) {
        const source = input.length ? input[Math.min(c, input.length - 1)] : null;
        for (let i = 0, j = base + c; i < count; ++i, j += channels) heap[j] = source ? source[at + i] : 0;
      }
      for (let s = 0; s < this.stages.length; ++s) {
        m._wavfx_web_stage_process(this.stages[s], this.samples, count);
      }
      const out = m.HEAPF32;
      for (let c = 0; c < output.length; ++c) {
        const target = output[c];
        const from = Math.min(c, channels - 1);
        for (let i = 0, j = base + from; i < count; ++i, j += channels) target[at + i] = out[j];
      }
    }
    return true;
  }
}

registerProcessor('wavfx-chain', WavfxChainProcessor);
