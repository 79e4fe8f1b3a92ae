#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Feed-forward peak compressor: the loudest channel of a frame drives one envelope and one gain.
struct CompressorState {
  float envelope;
  float threshold;
  float ratio;
  float attackCoeff;
  float releaseCoeff;
  uint32_t channels;
};

void InitCompressor(CompressorState& state, int32_t sampleRate, float thresholdDb, float ratio,
                    float attackMs, float releaseMs, uint32_t channels);
void ProcessCompressor(CompressorState& state, float* samples, int32_t frames);

extern const EffectFamily kCompressorFamily;

}  // namespace wavfx
