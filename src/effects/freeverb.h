#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Lines of one Freeverb network: eight lowpass-feedback combs in parallel, then four all-passes
// in series.
constexpr int kFreeverbCombs = 8;
constexpr int kFreeverbLines = 12;

// One spread's delay lines: their lengths, where each starts in a network's block (after the
// eight comb memories) and the slot each reads next. Every channel's network of this spread has
// these lengths and walks them in step, so the positions are shared.
struct FreeverbSpread {
  uint32_t length[kFreeverbLines];
  uint32_t start[kFreeverbLines];
  uint32_t position[kFreeverbLines];
  uint64_t size;  // floats of one network's block
};

// SoX's reverb. Each channel is pre-delayed and runs through one network, or two (spread 0 and
// the stereo depth) when the stream is mono or stereo and the depth is above 0. A stereo stream
// mixes both channels' networks of each side; mono takes the mean of its two networks.
struct FreeverbState {
  float* memory;  // the pre-delay's interleaved frames, then each channel's network blocks
  uint32_t channels;
  uint32_t spreads;  // networks per channel: 1 or 2
  FreeverbSpread spread[2];
  uint32_t delayFrames;
  uint32_t delayPosition;
  float feedback;
  float damping;
  float wetGain;
  float dryGain;
  bool frozen;  // the combs hold what they have: no input, feedback 1, no damping
};

void ProcessFreeverb(FreeverbState& state, float* samples, int32_t frames);
void ReleaseFreeverb(FreeverbState& state);

extern const EffectFamily kFreeverbFamily;

}  // namespace wavfx
