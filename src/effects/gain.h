#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// A fixed gain: every sample times g = float(TenToThe(db / 20)), g computed once from the
// decibels (db / 20 in double precision; TenToThe in dsp/effect_math.h, the same on every build,
// so g is the float nearest 10^(db / 20) unless that lies within about 1e-14 relative of the
// midpoint between two floats). A g of exactly 1 (0 dB) leaves the audio untouched.
struct GainState {
  float gain;
  uint32_t channels;
};

void InitGain(GainState& state, double db, uint32_t channels);
void ProcessGain(GainState& state, float* samples, int32_t frames);

extern const EffectFamily kGainFamily;

}  // namespace wavfx
