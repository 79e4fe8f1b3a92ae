#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Keeps a part of the stream: from `start` to `end`, or `duration` long (neither: to the end of
// the stream). Times are seconds, rounded to the nearest frame (halves up), or frame counts
// written with a trailing 's'; 0 leaves end and duration unset. A start past the stream's end
// gives an empty stream. Samples are moved, never changed.
struct TrimState {
  uint64_t skip;  // frames still to drop
  uint64_t keep;  // frames still to pass; UINT64_MAX: all the rest
  uint32_t channels;
};

extern const EffectFamily kTrimFamily;

}  // namespace wavfx
