#pragma once

#include <cstdint>

namespace wavfx {

// First-order recursive lowpass. Channel 0 has its own memory; every other channel shares the
// second one, so with three or more channels those are filtered as one interleaved sequence.
struct OnePoleState {
  float memory0;
  float memory1;
  float coefficient;
  uint32_t channels;
};

// The pole exp(-2 pi cutoff / sampleRate), computed in double and rounded once.
float OnePoleCoefficient(float cutoff, uint32_t sampleRate);

// One filter step: y = (1 - a) x + m a, each operation rounded on its own; y becomes the memory.
inline float OnePoleStep(float x, float& memory, float a) {
  const float y = (1.0f - a) * x + memory * a;
  memory = y;
  return y;
}

void InitOnePole(OnePoleState& state, uint32_t sampleRate, float cutoff, uint32_t channels);
void ProcessLowpass(OnePoleState& state, int16_t* samples, int32_t frames);
void ProcessHighpass(OnePoleState& state, int16_t* samples, int32_t frames);

}  // namespace wavfx
