#pragma once

#include <cstdint>

namespace wavfx {

// A sine oscillator swings the gain between 1 - depth/2 and 1 + depth/2, once per frame.
struct TremoloState {
  float phase;
  float phaseIncrement;
  float depth;
  uint32_t channels;
};

void InitTremolo(TremoloState& state, int32_t sampleRate, float rateHz, float depth,
                 uint32_t channels);
void ProcessTremolo(TremoloState& state, int16_t* samples, int32_t frames);

}  // namespace wavfx
