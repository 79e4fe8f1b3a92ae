#pragma once

#include <cstdint>

#include "effects/family.h"

#include "dsp/oscillator.h"

namespace wavfx {

// A sine oscillator swings the gain between 1 - depth/2 and 1 + depth/2, once per frame. Swung
// down, the gain runs from 1 to 1 - depth and back, starting at 1, its phase computed in double
// precision from the frame's number (SoX's tremolo).
struct TremoloState {
  Oscillator oscillator;
  float depth;
  uint32_t channels;
  bool down;
  double sampleRate;
  double rateHz;
  double downDepth;
  uint64_t frame;
};

void InitTremolo(TremoloState& state, int32_t sampleRate, float rateHz, float depth,
                 uint32_t channels);
void InitTremoloDown(TremoloState& state, double sampleRate, double rateHz, double depth,
                     uint32_t channels);
void ProcessTremolo(TremoloState& state, float* samples, int32_t frames);

extern const EffectFamily kTremoloFamily;

}  // namespace wavfx
