#include "effects/tremolo.h"

#include "effects/effect_math.h"
#include "engine/sample_conversion.h"

namespace wavfx {

void InitTremolo(TremoloState& state, int32_t sampleRate, float rateHz, float depth,
                 uint32_t channels) {
  // A zero rate makes the increment infinite; the gain is then NaN and the output silence.
  state.phase = 0.0f;
  state.phaseIncrement = static_cast<float>(static_cast<double>(rateHz) * 6.283185307179586 /
                                            static_cast<double>(sampleRate));
  state.depth = depth;
  state.channels = channels;
}

void ProcessTremolo(TremoloState& state, int16_t* samples, int32_t frames) {
  constexpr float kTwoPi = 6.2831855f;
  const float depth = state.depth;
  const uint32_t channels = state.channels;
  const float base = 1.0f - depth * 0.5f;
  int16_t* sample = samples;
  // The gain uses the phase before this frame's advance. The oscillator runs even when the
  // stream has no channels.
  for (int32_t frame = 0; frame < frames; ++frame) {
    const auto m = static_cast<float>(Sine(static_cast<double>(state.phase)) + 1.0);
    const float gain = base + m * depth * 0.5f;
    state.phase = state.phaseIncrement + state.phase;
    if (state.phase > kTwoPi) state.phase = state.phase - kTwoPi;
    for (uint32_t channel = 0; channel < channels; ++channel, ++sample) {
      *sample = FloatToSample(SampleToFloat(*sample) * gain);
    }
  }
}

}  // namespace wavfx
