#pragma once

#include <cstdint>

namespace wavfx {

// One feedback delay line: y[n] = x[n - length] + feedback * y[n - length].
struct CombFilter {
  float* buffer;  // owned; null for an empty comb
  uint32_t length;
  uint32_t position;
};

// Returns whether the buffer could be allocated; the comb is left empty when not.
bool InitCombFilter(CombFilter& comb, uint32_t length);
float RunCombFilter(CombFilter& comb, float input, float feedback);
void ReleaseCombFilter(CombFilter& comb);

// Four combs in series per channel, mixed with the dry signal. Channel 0 runs through
// firstCombs; a stereo stream's channel 1 through secondCombs, the same delays rotated.
struct ReverbState {
  CombFilter firstCombs[4];
  CombFilter secondCombs[4];
  uint32_t channels;
  float wetGain;
  float dryGain;
  float feedback[4];
};

void InitReverb(ReverbState& state, int32_t sampleRate, uint32_t channels);
void ProcessReverb(ReverbState& state, int16_t* samples, int32_t frames);
void ReleaseReverb(ReverbState& state);

}  // namespace wavfx
