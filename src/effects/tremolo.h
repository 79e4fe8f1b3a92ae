#pragma once

#include <cstdint>

#include "effects/family.h"

#include "dsp/oscillator.h"

namespace wavfx {

// A sine oscillator swings the gain between 1 - depth/2 and 1 + depth/2, once per frame.
struct TremoloState {
  Oscillator oscillator;
  float depth;
  uint32_t channels;
};

void InitTremolo(TremoloState& state, int32_t sampleRate, float rateHz, float depth,
                 uint32_t channels);
void ProcessTremolo(TremoloState& state, float* samples, int32_t frames);

extern const EffectFamily kTremoloFamily;

}  // namespace wavfx
