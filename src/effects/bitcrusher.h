#pragma once

#include <cstdint>

#include "effects/family.h"

#include "dsp/effect_math.h"

namespace wavfx {

// Quantises each sample down to one of `levels` equally spaced steps from -1.
struct BitcrusherState {
  int32_t levels;
  uint32_t channels;
};

// Each value drops to the lower edge of its cell: level q of the cells `half` per unit stands
// for step * q - 1, q from 0 to top. Below level 0, and NaN, give level 0.
inline float CrushSample(float x, float half, float top, float step) {
  const float t = (x + 1.0f) * half;
  float q = top;
  if (!(t >= 0.0f)) {
    q = 0.0f;
  } else if (t < top) {
    q = static_cast<float>(FloorSmall(static_cast<double>(t)));
  }
  return step * q - 1.0f;
}

void InitBitcrusher(BitcrusherState& state, int32_t bits, uint32_t channels);
void ProcessBitcrusher(BitcrusherState& state, float* samples, int32_t frames);

extern const EffectFamily kBitcrusherFamily;

}  // namespace wavfx
