#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Numbers a text of kMaxStageText characters can hold, each at least one digit and a separator.
constexpr uint32_t kMaxCompandValues = kMaxStageText / 2;
constexpr uint32_t kMaxCompandPairs = kMaxCompandValues / 2;
// The transfer points given, the tail-off point before them and 0 dB after them.
constexpr uint32_t kMaxCompandPoints = kMaxCompandValues + 2;

// From level x (ln of the envelope), the gain's ln is y + d (a d + b) at x + d.
struct CompandSegment {
  double x;
  double y;
  double a;
  double b;
};

// SoX's transfer function as gains against levels in nepers (dB ln 10 / 20): segment 2k is the
// line from point k, segment 2k + 1 the parabola rounding the knee after it. `last` holds the
// last point's gain, for levels above 0 dB.
struct CompandCurve {
  CompandSegment segments[2 * kMaxCompandPoints];
  uint32_t last;
  double floorLevel;  // envelopes at or below it (linear) take floorGain
  double floorGain;
  double topGain;
};

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
