#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/family.h"

#include "dsp/delay_line.h"

namespace wavfx {

// Four feedback combs in series per channel, mixed with the dry signal. Channel 0 runs through
// firstCombs; a stereo stream's channel 1 through secondCombs, the same delays rotated; further
// channels meet only empty combs.
struct ReverbState {
  DelayLine firstCombs[4];
  DelayLine secondCombs[4];
  uint32_t channels;
  float wetGain;
  float dryGain;
  float feedback[4];
};

// Comb delays scale with the rate and `size`; the feedback of each is its place's times `decay`.
void InitReverb(ReverbState& state, int32_t sampleRate, uint32_t channels, float wetGain,
                float dryGain, double size, float decay);
void ProcessReverb(ReverbState& state, float* samples, int32_t frames);
void ReleaseReverb(ReverbState& state);

// Runs `count` consecutive values of one channel through a comb, in place: y[n] = x[n - length]
// + feedback * y[n - length]. An empty comb passes its input through.
void RunComb(DelayLine& comb, float* values, std::size_t count, float feedback);

extern const EffectFamily kReverbFamily;

}  // namespace wavfx
