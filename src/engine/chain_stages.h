#pragma once

#include <cstddef>

#include "engine/chain.h"

namespace wavfx {

// ProcessChainFloats after its first step, for samples the caller has already made finite (NaN
// and infinities read as 0) while ChainChangesAudio holds: a host's copy does both in one pass.
void RunChainStages(EffectChain& chain, float* samples, std::size_t frames);

}  // namespace wavfx
