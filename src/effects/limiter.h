#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// What a limiter carries from one call to the next (and across a plugin's control change).
struct LimiterRun {
  uint64_t seen;          // frames taken
  double sum;             // of the last D values of 1 - smooth
  float smooth;           // the released minimum demand
  float envelopeMin;      // the smallest envelope of the block being gathered (true peak)
  float gain;             // the gain of the block being written (true peak)
  float front;            // the smallest demand of the sliding minimum's block so far
  uint32_t blockAt;       // the next frame's place in that block
  uint32_t slot;          // ring slot of the next frame
  uint32_t releasedSlot;  // seen mod D
  uint32_t settled;       // how many of the last values of 1 - smooth are the latest (at most D)
  uint32_t windowSlot;    // seen mod 12
  float blockPeak;        // the largest sample since the last multiple of 12 frames
  float recentPeak;       // and in the 12 frames before
};

// Look-ahead brickwall limiter, one gain for all channels. Its output lags its input by `delay`
// frames (FamilyOps::delay), which chains take back out. See limiter.cpp for the gain.
struct LimiterState {
  uint32_t channels;
  uint32_t truePeak;    // 1: the true peak (BS.1770 4x interpolation) stays under the ceiling
  uint32_t lookahead;   // D frames: the attack's ramp
  uint32_t delay;       // frames from an input frame to its output
  uint32_t span;        // demands the sliding minimum covers
  uint32_t ringFrames;  // input frames held
  double ceiling;       // linear, less the safety margin
  double inverseLookahead;
  float release;   // per-frame factor of the release
  LimiterRun run;  // what runs on from one call to the next
  // Buffers: zero is their initial state.
  float* delayed;   // ringFrames frames
  float* windows;   // per channel, the detector's last 11 samples and a chunk's
  float* minimum;   // the sliding minimum's block of demands, then the block before's suffix
  float* demands;   // sample peak: each held frame's demand
  float* released;  // D values of 1 - smooth
  float* carried;   // per channel, what a block keeps for the next (true peak)
  float* reaches;   // true peak: per held frame, at least its points' magnitudes (all channels)
};

extern const EffectFamily kLimiterFamily;

}  // namespace wavfx
