#include "effects/mod_delay.h"

#include <algorithm>
#include <cstddef>

#include "dsp/effect_math.h"
#include "dsp/oscillator_phase.h"
#include "dsp/sample_buffer.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

// Sane rates keep the read point within about one buffer length of the buffer. A read point
// beyond this many lengths comes from a degenerate rate (a NaN, infinite or huge delay), where
// wrapping one length at a time would take millions of steps, or never end.
constexpr float kMaxWraps = 8.0f;

// The most frames and samples worked on at a time.
constexpr std::size_t kChunkFrames = 256;
constexpr std::size_t kChunkSamples = 512;

// Buffers of fewer frames than this have frame numbers exact in float.
constexpr uint32_t kLargestVectorSpan = 1u << 24;

// Where the frames of a chunk read: frame i's delayed value blends buffer frames older[i] and
// newer[i], the newer weighing frac[i].
struct ReadPoints {
  uint32_t older[kChunkFrames];
  uint32_t newer[kChunkFrames];
  float frac[kChunkFrames];
};

// Frame i's read point, `delay` frames before buffer frame `wFrame` of a buffer of `span` frames.
void ReadPointAt(ReadPoints& points, std::size_t i, uint32_t wFrame, float delay, uint32_t span) {
  const auto spanF = static_cast<float>(span);
  const float limit = kMaxWraps * spanF;
  float pos = static_cast<float>(wFrame) - delay;
  if (!(pos > -limit && pos < limit)) pos = 0.0f;
  while (pos < 0.0f)
    pos += spanF;
  while (pos >= spanF)
    pos -= spanF;
  const auto f0 = static_cast<uint32_t>(pos);
  points.older[i] = f0;
  points.newer[i] = f0 + 1 == span ? 0 : f0 + 1;
  points.frac[i] = pos - static_cast<float>(f0);
}

// The frames of a chunk: every channel reads its own delayed value, both frames being its own
// history, and stores its input plus feedback in the oldest frame, which the next frame's reads
// no longer need. The output values go to `outputs`, or, for frames wider than a chunk, straight
// to the samples. kChannels is the channel count, or 0 for any. The buffer is written through
// locals only, which the stores cannot alias.
template <uint32_t kChannels>
void DelayFrames(ModDelayState& state, const ReadPoints& points, int16_t* samples, float* outputs,
                 std::size_t count) {
  const uint32_t channels = kChannels != 0 ? kChannels : state.channels;
  const bool wide = channels > kChunkSamples;
  float* const buffer = state.buffer;
  const float wetGain = state.wetGain;
  const float dryGain = state.dryGain;
  const float feedback = state.feedback;
  uint32_t w = state.position;
  for (std::size_t i = 0; i < count; ++i) {
    const float frac = points.frac[i];
    const float keep = 1.0f - frac;
    const float* older = buffer + points.older[i] * channels;
    const float* newer = buffer + points.newer[i] * channels;
    float* slot = buffer + w;
    int16_t* sample = samples + i * channels;
    for (uint32_t j = 0; j < channels; ++j) {
      const float x = SampleToFloat(sample[j]);
      const float delayed = older[j] * keep + newer[j] * frac;
      const float out = wetGain * delayed + dryGain * x;
      // Feedback recirculates the unclamped input, never the output.
      slot[j] = feedback * delayed + x;
      if (wide) {
        sample[j] = FloatToSample(out);
      } else {
        *outputs++ = out;
      }
    }
    w = w + channels >= state.length ? 0 : w + channels;
  }
  state.position = w;
}

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

// The oscillator's value for a frame uses the phase before that frame's advance; one delay
// serves every channel of the frame. A chunk of frames at a time: the oscillator values, then
// the frames' output values, then their conversion to samples.
void ProcessModDelay(ModDelayState& state, int16_t* samples, int32_t frames) {
  const uint32_t channels = state.channels;
  // Without a buffer the effect is inactive and the audio passes unchanged.
  if (frames <= 0 || (channels != 0 && state.buffer == nullptr)) return;
  if (channels == 0) {
    for (int32_t frame = 0; frame < frames; ++frame)
      state.phase = AdvancePhase(state.phase, state.phaseIncrement);
    return;
  }
  const VectorKernels* kernels = ActiveKernels();
  const float sweep = state.maxDelay - state.minDelay;
  const uint32_t span = state.length / channels;  // frames in the buffer
  uint32_t wFrame = state.position / channels;
  // Frames wider than a chunk are converted one at a time.
  const bool wide = channels > kChunkSamples;
  const std::size_t chunk = std::clamp<std::size_t>(kChunkSamples / channels, 1, kChunkFrames);
  float phases[kChunkFrames];
  float lfo[kChunkFrames];
  ReadPoints points;
  uint32_t wFrames[kChunkFrames];
  float outputs[kChunkSamples];
  for (auto left = static_cast<std::size_t>(frames); left > 0;) {
    const std::size_t count = std::min(chunk, left);
    AdvancePhases(state.phase, state.phaseIncrement, phases, count);
    if (kernels != nullptr) {
      kernels->halfSinePlusOne(phases, lfo, count);
    } else {
      for (std::size_t i = 0; i < count; ++i)
        lfo[i] = HalfSinePlusOne(phases[i]);
    }
    for (std::size_t i = 0; i < count; ++i) {
      wFrames[i] = wFrame;
      wFrame = wFrame + 1 == span ? 0 : wFrame + 1;
    }
    // The kernel takes the read points that need at most one wrap.
    std::size_t done = 0;
    if (kernels != nullptr && span < kLargestVectorSpan) {
      done = kernels->readPoints(lfo, wFrames, count, sweep, state.minDelay, span, points.older,
                                 points.newer, points.frac);
    }
    for (std::size_t i = done; i < count; ++i) {
      ReadPointAt(points, i, wFrames[i], lfo[i] * sweep + state.minDelay, span);
    }
    if (channels == 1) {
      DelayFrames<1>(state, points, samples, outputs, count);
    } else if (channels == 2) {
      DelayFrames<2>(state, points, samples, outputs, count);
    } else {
      DelayFrames<0>(state, points, samples, outputs, count);
    }
    if (!wide) {
      if (kernels != nullptr) {
        kernels->toSamples(outputs, samples, count * channels);
      } else {
        for (std::size_t i = 0; i < count * channels; ++i)
          samples[i] = FloatToSample(outputs[i]);
      }
    }
    samples += count * channels;
    left -= count;
  }
}

void ReleaseModDelay(ModDelayState& state) {
  if (state.buffer != nullptr) FreeSamples(state.buffer);
  state.buffer = nullptr;
  state.position = 0;
  state.length = 0;
}

}  // namespace wavfx
