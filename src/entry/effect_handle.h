#pragma once

#include "engine/chain.h"

// What a wavfx_effect handle of the C API holds.
struct wavfx_effect {
  wavfx::EffectChain chain;
};
