#pragma once

#include <string>

#include "engine/chain_text.h"

namespace wavfx {

// The first stage that needs its input measured before it can run (norm, loudnorm without their
// measurement given); -1 when none does. A chain runs its measuring stages' inputs through the
// stages before them, one pass each, before the pass that writes.
int FirstUnmeasuredStage(const ChainRecipe& recipe);

inline bool RecipeNeedsMeasurement(const ChainRecipe& recipe) {
  return FirstUnmeasuredStage(recipe) >= 0;
}

// False, with WAVFX_ERROR_NEEDS_MEASUREMENT and the stage named, when a stage still needs its
// input measured: such a chain cannot run on a stream it has not seen whole.
bool ChainMeasured(const ChainRecipe& recipe, ChainError& error);

// The first `count` stages.
ChainRecipe PrefixOf(const ChainRecipe& recipe, uint32_t count);

// Hands the measurement of its input to stage `stage`.
void GiveMeasurement(ChainRecipe& recipe, uint32_t stage, const StreamMeasurement& measurement);

// The chain's text with every parameter written out, that ParseChain reads back as `recipe`:
// numbers in their shortest exact form, choices by name, frame counts with a trailing 's'.
std::string RecipeText(const ChainRecipe& recipe);

}  // namespace wavfx
