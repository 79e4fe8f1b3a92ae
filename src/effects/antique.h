#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Old-record sound: a one-pole lowpass, a little white noise, a coarse quantiser and a level.
struct AntiqueState {
  float memory0;
  float memory1;
  uint32_t noiseSeed;
  float coefficient;
  float noiseLevel;
  // The quantiser of L levels, in double: half = (L - 1) / 2, top = L - 1, step = 2 / (L - 1).
  double half;
  double top;
  double step;
  float level;
  uint32_t channels;
};

// The cutoff is 0.45 of the rate where the rate is below twice the cutoff; bits (1 to 16) give
// 2^bits levels.
void InitAntique(AntiqueState& state, uint32_t sampleRate, uint32_t channels, float cutoff,
                 float noiseLevel, int32_t bits, float level);
void ProcessAntique(AntiqueState& state, float* samples, int32_t frames);

// The same over stereo 16-bit samples in place, as ProcessLowpassSamples.
bool ProcessAntiqueSamples(AntiqueState& state, int16_t* samples, int32_t frames);

extern const EffectFamily kAntiqueFamily;

}  // namespace wavfx
