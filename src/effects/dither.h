#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Triangular dither of +-1 step of a `bits`-deep integer grid, optionally shaped by feeding the
// quantisation error back, with the samples rounded onto that grid. The noise of channel c at
// frame n depends on the seed, c and n alone.
struct DitherState {
  float* errors;   // per channel: the last quantisation error (shaped); null otherwise
  uint64_t frame;  // frames dithered so far
  uint64_t seed;
  double steps;     // 2^(bits - 1) - 1: the grid's steps per unit
  double stepSize;  // 1 / steps
  uint32_t channels;
  bool shaped;
  bool active;  // false at depths beyond a float's 24 bits
};

// Depths beyond kMaxDitherBits are finer than floats hold: the stage leaves the audio alone.
constexpr int kMaxDitherBits = 24;

bool InitDither(DitherState& state, uint32_t channels, int bits, bool shaped, uint64_t seed);
void ProcessDither(DitherState& state, float* samples, int32_t frames);
void ReleaseDither(DitherState& state);

extern const EffectFamily kDitherFamily;

}  // namespace wavfx
