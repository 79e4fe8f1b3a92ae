#pragma once

#include <cstdint>

#include "dsp/delay_line.h"
#include "dsp/oscillator.h"
#include "effects/family.h"

namespace wavfx {

// A delay swept by a sine oscillator between minDelay and maxDelay frames, read by linear
// interpolation, with feedback: the flanger and the chorus.
struct ModDelayState {
  DelayLine line;  // frames of `channels` values; empty when inactive or released
  Oscillator oscillator;
  float minDelay;
  float maxDelay;
  float wetGain;
  float dryGain;
  float feedback;
  uint32_t channels;
};

void InitModDelay(ModDelayState& state, int32_t sampleRate, uint32_t channels, float minDelayMs,
                  float maxDelayMs, float rateHz, float wetGain, float dryGain, float feedback);
void ProcessModDelay(ModDelayState& state, float* samples, int32_t frames);
void ReleaseModDelay(ModDelayState& state);

extern const EffectFamily kFlangerFamily;
extern const EffectFamily kChorusFamily;

}  // namespace wavfx
