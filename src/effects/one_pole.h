#pragma once

#include <cstdint>

#include "effects/family.h"
namespace wavfx {

// First-order recursive lowpass. Channel 0 has its own memory; every other channel shares the
// second one, so with three or more channels those are filtered as one interleaved sequence.
struct OnePoleState {
  float memory0;
  float memory1;
  float coefficient;
  uint32_t channels;
  uint32_t sinceFlush;  // frames since the last flush of subnormal memories
};

void InitOnePole(OnePoleState& state, uint32_t sampleRate, float cutoff, uint32_t channels);
void ProcessLowpass(OnePoleState& state, float* samples, int32_t frames);
void ProcessHighpass(OnePoleState& state, float* samples, int32_t frames);

// The same over stereo 16-bit samples in place, converted in and out within the filter's loop,
// with exactly the bits of converting, filtering and converting back. Returns false, having done
// nothing, when there is no vector path or the stream is not stereo.
bool ProcessLowpassSamples(OnePoleState& state, int16_t* samples, int32_t frames);
bool ProcessHighpassSamples(OnePoleState& state, int16_t* samples, int32_t frames);

extern const EffectFamily kLowpassFamily;
extern const EffectFamily kHighpassFamily;

}  // namespace wavfx
