#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Silence before and after the stream: `start` and `end` long, in seconds rounded to the nearest
// frame (halves up) or frame counts written with a trailing 's'. Silence is all bytes zero (0,
// or +0.0); the stream's own samples are moved, never changed.
struct PadState {
  uint64_t before;  // silent frames still to write ahead of the stream
  uint64_t after;   // and after it
  uint32_t channels;
};

extern const EffectFamily kPadFamily;

}  // namespace wavfx
