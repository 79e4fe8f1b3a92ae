#include "effects/mod_delay.h"

#include "effects/effect_math.h"
#include "effects/sample_buffer.h"
#include "engine/sample_conversion.h"

namespace wavfx {
namespace {

constexpr float kTwoPi = 6.2831855f;

// Sane rates keep the read point within about one buffer length of the buffer. A read point
// beyond this many lengths comes from a degenerate rate (a NaN, infinite or huge delay), where
// wrapping one length at a time would take millions of steps, or never end.
constexpr float kMaxWraps = 8.0f;

}  // namespace

void InitModDelay(ModDelayState& state, int32_t sampleRate, uint32_t channels, float minDelayMs,
                  float maxDelayMs, float rateHz, float wetGain, float dryGain, float feedback) {
  const double fs = static_cast<double>(sampleRate);
  const double maxFrames = static_cast<double>(maxDelayMs) * fs * 0.001;
  // Truncated, so the sweep may reach up to one frame past the buffer; NaN, negative and short
  // delays give 2 frames. 2^32 frames or more cannot be allocated, whatever the channel count.
  uint64_t bufferFrames = 2;
  if (maxFrames >= 2.0) {
    bufferFrames = maxFrames < 4294967296.0 ? static_cast<uint64_t>(maxFrames) : uint64_t{1} << 32;
  }
  const uint64_t count = bufferFrames * channels;  // both factors are at most 2^32: no wrap
  state.buffer = AllocateSamples(count);
  state.length = state.buffer != nullptr ? static_cast<uint32_t>(count) : 0;
  state.position = 0;
  state.phase = 0.0f;
  state.phaseIncrement = static_cast<float>(static_cast<double>(rateHz) * 6.283185307179586 / fs);
  state.minDelay = static_cast<float>(static_cast<double>(minDelayMs) * fs * 0.001);
  state.maxDelay = static_cast<float>(maxFrames);
  state.wetGain = wetGain;
  state.dryGain = dryGain;
  state.feedback = feedback;
  state.channels = channels;
}

void ProcessModDelay(ModDelayState& state, int16_t* samples, int32_t frames) {
  const uint32_t channels = state.channels;
  // Without a buffer the effect is inactive and the audio passes unchanged.
  if (frames <= 0 || (channels != 0 && state.buffer == nullptr)) return;
  const uint32_t span = channels != 0 ? state.length / channels : 0;
  const float spanF = static_cast<float>(span);
  const float limit = kMaxWraps * spanF;
  const float sweep = state.maxDelay - state.minDelay;
  for (int32_t frame = 0; frame < frames; ++frame, samples += channels) {
    const float phase = state.phase;
    state.phase = state.phaseIncrement + phase;
    if (state.phase > kTwoPi) state.phase -= kTwoPi;
    if (channels == 0) continue;

    const float lfo = static_cast<float>((Sine(static_cast<double>(phase)) + 1.0) * 0.5);
    const float delay = lfo * sweep + state.minDelay;
    const uint32_t w = state.position;
    float pos = static_cast<float>(w / channels) - delay;
    if (!(pos > -limit && pos < limit)) pos = 0.0f;
    while (pos < 0.0f)
      pos += spanF;
    while (pos >= spanF)
      pos -= spanF;
    const auto f0 = static_cast<uint32_t>(pos);
    const float frac = pos - static_cast<float>(f0);
    const float keep = 1.0f - frac;
    const uint32_t f1 = f0 + 1 == span ? 0 : f0 + 1;

    const float* older = state.buffer + f0 * channels;
    const float* newer = state.buffer + f1 * channels;
    float* slot = state.buffer + w;
    for (uint32_t j = 0; j < channels; ++j) {
      const float x = SampleToFloat(samples[j]);
      const float delayed = older[j] * keep + newer[j] * frac;
      samples[j] = FloatToSample(state.wetGain * delayed + state.dryGain * x);
      // Feedback recirculates the unclamped input, never the output.
      slot[j] = state.feedback * delayed + x;
    }
    state.position = w + channels >= state.length ? 0 : w + channels;
  }
}

void ReleaseModDelay(ModDelayState& state) {
  if (state.buffer != nullptr) FreeSamples(state.buffer);
  state.buffer = nullptr;
  state.position = 0;
  state.length = 0;
}

}  // namespace wavfx
