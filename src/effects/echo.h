#pragma once

#include <cstdint>

#include "effects/family.h"

#include "dsp/delay_line.h"

namespace wavfx {

// Feedback delay over whole frames; each channel echoes only itself.
struct EchoState {
  DelayLine line;  // frames of `channels` values; empty when inactive or released
  float feedback;
  float wetGain;
  float dryGain;
  uint32_t channels;
};

// The delay is sampleRate * delaySeconds frames, truncated, at least one.
void InitEcho(EchoState& state, uint32_t sampleRate, uint32_t channels, double delaySeconds,
              float feedback, float wetGain, float dryGain);
void ProcessEcho(EchoState& state, float* samples, int32_t frames);
void ReleaseEcho(EchoState& state);

extern const EffectFamily kEchoFamily;

}  // namespace wavfx
