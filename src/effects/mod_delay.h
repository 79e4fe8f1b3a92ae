#pragma once

#include <cstdint>

namespace wavfx {

// A delay swept by a sine oscillator between minDelay and maxDelay frames, read by linear
// interpolation, with feedback: the flanger and the chorus.
struct ModDelayState {
  float* buffer;  // owned; interleaved like the block; null when inactive or released
  uint32_t length;
  uint32_t position;
  float phase;
  float phaseIncrement;
  float minDelay;
  float maxDelay;
  float wetGain;
  float dryGain;
  float feedback;
  uint32_t channels;
};

void InitModDelay(ModDelayState& state, int32_t sampleRate, uint32_t channels, float minDelayMs,
                  float maxDelayMs, float rateHz, float wetGain, float dryGain, float feedback);
void ProcessModDelay(ModDelayState& state, int16_t* samples, int32_t frames);
void ReleaseModDelay(ModDelayState& state);

}  // namespace wavfx
