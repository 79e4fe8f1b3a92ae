#pragma once

#include <cstdint>

#include "dsp/compand_curve.h"
#include "effects/family.h"

namespace wavfx {

static_assert(kMaxCompandValues == kMaxStageText / 2);

// SoX's compander: an envelope of |x| per channel (or one of the loudest channel's, shared)
// rising by `attack` and falling by `decay` of the distance each frame; every sample is scaled
// by the curve's gain at its channel's envelope, the audio delayed by `delayFrames` behind it.
struct CompandState {
  CompandCurve curve;
  double attack[kMaxCompandPairs];
  double decay[kMaxCompandPairs];
  double volume[kMaxCompandPairs];
  float* held;  // a ring of delayFrames frames; null without a delay
  uint64_t delayFrames;
  uint64_t count;    // frames held
  uint64_t index;    // the ring's next frame to write: the oldest once it is full
  uint64_t drained;  // of those held, frames drained since the stream ended
  uint32_t channels;
  bool shared;
  bool active;  // false when the settings do not fit the stream: the audio passes unchanged
};

extern const EffectFamily kCompandFamily;

}  // namespace wavfx
