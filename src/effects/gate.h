#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Noise gate, one gain for all channels: open while a frame's peak reaches the threshold and for
// the hold after it, closed (the range's attenuation) otherwise; the gain moves towards its
// target by one-pole steps, the attack's opening and the release's closing.
struct GateState {
  uint32_t channels;
  uint32_t holdFrames;
  float threshold;  // linear
  float closed;     // the gain when closed
  float attack;     // per-frame factors
  float release;
  // What runs on:
  uint32_t holding;  // frames the gate stays open for without a peak
  float gain;
  bool started;  // some frame went through
};

void InitGate(GateState& state, double thresholdDb, double rangeDb, double attackMs, double holdMs,
              double releaseMs, uint32_t sampleRate, uint32_t channels);
void ProcessGate(GateState& state, float* samples, int32_t frames);

extern const EffectFamily kGateFamily;

}  // namespace wavfx
