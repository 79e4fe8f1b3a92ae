#pragma once

#include <cstdint>

namespace wavfx {

// Old-record sound: 4 kHz one-pole lowpass, a little white noise, 8-bit quantisation, 0.9 level.
struct AntiqueState {
  float memory0;
  float memory1;
  uint32_t noiseSeed;
  float coefficient;
  float noiseLevel;
};

void InitAntique(AntiqueState& state, uint32_t sampleRate);
void ProcessAntique(AntiqueState& state, int16_t* samples, int32_t frames, uint32_t channels);

}  // namespace wavfx
