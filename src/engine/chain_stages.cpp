#include "engine/chain_stages.h"

namespace wavfx {

void RunChainStages(EffectChain& chain, float* samples, std::size_t frames) {
  for (uint32_t i = 0; i < chain.recipe.count; ++i) {
    EffectState& stage = chain.stages[i];
    if (EffectChangesAudio(stage))
      ProcessEffectFloats(stage, samples, static_cast<int32_t>(frames));
  }
}

}  // namespace wavfx
