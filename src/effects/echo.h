#pragma once

#include <cstdint>

namespace wavfx {

// Feedback delay of 0.35 s over whole frames; each channel echoes only itself.
struct EchoState {
  float* buffer;  // owned; null when inactive or released
  uint32_t length;
  uint32_t position;
  float feedback;
  float wetGain;
  float dryGain;
  uint32_t channels;
};

void InitEcho(EchoState& state, uint32_t sampleRate, uint32_t channels);
void ProcessEcho(EchoState& state, int16_t* samples, int32_t frames);
void ReleaseEcho(EchoState& state);

}  // namespace wavfx
