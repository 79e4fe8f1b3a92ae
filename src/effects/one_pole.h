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

void InitOnePole(OnePoleState& state, uint32_t sampleRate, float cutoff, uint32_t channels);
void ProcessLowpass(OnePoleState& state, float* samples, int32_t frames);
void ProcessHighpass(OnePoleState& state, float* samples, int32_t frames);

}  // namespace wavfx
