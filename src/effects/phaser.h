#pragma once

#include <cstdint>

#include "dsp/oscillator.h"
#include "dsp/simd_dispatch.h"
#include "effects/family.h"

namespace wavfx {

// A chain of first-order all-pass stages whose corner a sine oscillator sweeps on a logarithmic
// scale around a centre frequency, with feedback from the chain's output to its input, mixed
// with the dry signal.
struct PhaserState {
  float* memories;        // per channel: each stage's last input, then the chain's last output
  Oscillator oscillator;  // advances once per control period
  float coefficient;      // the stages' all-pass coefficient in the current control period
  float feedback;
  float wet;
  float dry;
  PhaserSweep sweep;
  uint32_t stages;
  uint32_t channels;
  uint32_t position;  // frames since the last flush of subnormal memories
};

// The stages' coefficient (g - 1) / (g + 1), g = tan(pi f / rate), for an oscillator value s + 1:
// f = centre * 10^(depth in decades * s), kept within the sweep's bounds. tan is sin / cos from
// the library's own polynomial, so every build computes the same bits.
float PhaserCoefficient(const PhaserSweep& sweep, float sinePlusOne);

// The sweep of a phaser at `sampleRate` with depth 0..1 (1.5 decades each way at 1) around
// `centreHz`, between 20 Hz and the lower of 20 kHz and 0.49 times the rate.
PhaserSweep PhaserSweepAt(uint32_t sampleRate, double depth, double centreHz);

void InitPhaser(PhaserState& state, uint32_t sampleRate, uint32_t channels, float rateHz,
                double depth, double centreHz, float feedback, float mix, uint32_t stages);
void ProcessPhaser(PhaserState& state, float* samples, int32_t frames);
void ReleasePhaser(PhaserState& state);

extern const EffectFamily kPhaserFamily;

}  // namespace wavfx
