#pragma once

#include "effects/family.h"

namespace wavfx {

// Copies the audio unchanged.
extern const EffectFamily kNoneFamily;

}  // namespace wavfx
