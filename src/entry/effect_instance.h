#pragma once

#include <cstddef>

#include "engine/chain.h"

// What a wavfx_effect handle holds: the chain, and room to convert samples on their way into
// and out of a reshaping chain.
struct wavfx_effect {
  wavfx::EffectChain chain;
  float* scratchIn;   // owned; scratchInFrames frames of the chain's input
  float* scratchOut;  // owned; scratchOutFrames frames of its output
  std::size_t scratchInFrames;
  std::size_t scratchOutFrames;
};

namespace wavfx {

// The scratch room of a chain that reshapes (none for one that does not): false when memory is
// short. The release frees it; a second release does nothing.
bool InitFlowScratch(wavfx_effect& effect);
void ReleaseFlowScratch(wavfx_effect& effect);

}  // namespace wavfx
