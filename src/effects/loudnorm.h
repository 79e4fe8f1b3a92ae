#pragma once

#include "effects/family.h"
#include "effects/gain.h"
#include "effects/limiter.h"

namespace wavfx {

// Loudness normalisation (EBU R128): one gain, g = float(10^((target - measured) / 20)), from
// the input's integrated loudness measured first. When that gain would take the measured true
// peak above the ceiling, the limiter (truepeak=1, its default release and look-ahead) holds the
// output at the ceiling after it, and the stage's output lags by the limiter's delay, which
// chains take back out. An input with no loudness above the -70 LUFS gate is left as it is.
struct LoudnormState {
  GainState gain;
  bool limits;
  LimiterState limiter;
};

extern const EffectFamily kLoudnormFamily;

}  // namespace wavfx
