#include "effects/tremolo.h"

#include <algorithm>
#include <cstddef>

#include "dsp/effect_math.h"
#include "dsp/oscillator_phase.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

// The vector path works through a block in chunks of this many frames.
constexpr std::size_t kChunkFrames = 256;

float Gain(float sinePlusOne, float depth) {
  const float base = 1.0f - depth * 0.5f;
  return base + sinePlusOne * depth * 0.5f;
}

// The reference: one frame at a time.
void ProcessScalar(TremoloState& state, int16_t* samples, int32_t frames) {
  const uint32_t channels = state.channels;
  for (int32_t frame = 0; frame < frames; ++frame) {
    const float gain = Gain(SinePlusOne(state.phase), state.depth);
    state.phase = AdvancePhase(state.phase, state.phaseIncrement);
    for (uint32_t channel = 0; channel < channels; ++channel, ++samples) {
      *samples = FloatToSample(SampleToFloat(*samples) * gain);
    }
  }
}

// Phases first, then their sines and gains, then the samples, a chunk at a time.
void ProcessVectors(const VectorKernels& kernels, TremoloState& state, int16_t* samples,
                    int32_t frames) {
  const std::size_t channels = state.channels;
  float phases[kChunkFrames];
  float gains[kChunkFrames];
  for (auto left = static_cast<std::size_t>(frames); left > 0;) {
    const std::size_t count = std::min(kChunkFrames, left);
    AdvancePhases(state.phase, state.phaseIncrement, phases, count);
    kernels.sinePlusOne(phases, gains, count);
    for (std::size_t frame = 0; frame < count; ++frame) {
      gains[frame] = Gain(gains[frame], state.depth);
    }
    kernels.scale(samples, gains, count, channels);
    samples += count * channels;
    left -= count;
  }
}

}  // namespace

void InitTremolo(TremoloState& state, int32_t sampleRate, float rateHz, float depth,
                 uint32_t channels) {
  // A zero rate makes the increment infinite; the gain is then NaN and the output silence.
  state.phase = 0.0f;
  state.phaseIncrement = static_cast<float>(static_cast<double>(rateHz) * 6.283185307179586 /
                                            static_cast<double>(sampleRate));
  state.depth = depth;
  state.channels = channels;
}

// The gain uses the phase before the frame's advance. The oscillator runs even when the stream
// has no channels.
void ProcessTremolo(TremoloState& state, int16_t* samples, int32_t frames) {
  if (frames <= 0) return;
  const VectorKernels* kernels = ActiveKernels();
  if (kernels != nullptr) {
    ProcessVectors(*kernels, state, samples, frames);
  } else {
    ProcessScalar(state, samples, frames);
  }
}

}  // namespace wavfx
