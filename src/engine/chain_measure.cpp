#include "engine/chain_measure.h"

#include <cmath>

namespace wavfx {

int FirstUnmeasuredStage(const ChainRecipe& recipe) {
  for (uint32_t i = 0; i < recipe.count; ++i) {
    const MeasuringOps& ops = FamilyOf(recipe.stages[i].kind).measuring;
    if (ops.needsMeasurement != nullptr && ops.needsMeasurement(recipe.stages[i])) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool ChainMeasured(const ChainRecipe& recipe, ChainError& error) {
  const int stage = FirstUnmeasuredStage(recipe);
  if (stage < 0) return true;
  const EffectFamily& family = FamilyOf(recipe.stages[stage].kind);
  error.code = WAVFX_ERROR_NEEDS_MEASUREMENT;
  error.message = "stage " + std::to_string(stage + 1) + " (" + family.info.name +
                  "): needs its input measured first (a file job or wavfx_chain_measure does "
                  "that), or the measurement given as its parameters";
  return false;
}

ChainRecipe PrefixOf(const ChainRecipe& recipe, uint32_t count) {
  ChainRecipe prefix = recipe;
  prefix.count = count < recipe.count ? count : recipe.count;
  return prefix;
}

void GiveMeasurement(ChainRecipe& recipe, uint32_t stage, const StreamMeasurement& measurement) {
  const MeasuringOps& ops = FamilyOf(recipe.stages[stage].kind).measuring;
  if (ops.takeMeasurement != nullptr) ops.takeMeasurement(recipe.stages[stage], measurement);
}

std::string RecipeText(const ChainRecipe& recipe) {
  std::string text;
  for (uint32_t i = 0; i < recipe.count; ++i) {
    const EffectSettings& stage = recipe.stages[i];
    const EffectFamily& family = FamilyOf(stage.kind);
    if (i > 0) text += ',';
    text += family.info.name;
    for (std::size_t p = 0, texts = 0; p < family.info.parameter_count; ++p) {
      const ParameterSyntax* syntax = family.syntax != nullptr ? &family.syntax[p] : nullptr;
      const double value = stage.values[p];
      std::string written;
      if (syntax != nullptr && syntax->text) {
        written = StageText(stage, texts++);
      } else if (syntax != nullptr && syntax->choices != nullptr) {
        written = syntax->choices[static_cast<std::size_t>(value)];
      } else if ((stage.samples >> p & 1u) != 0) {
        written = FormatNumber(value) + "s";
      } else {
        written = FormatNumber(value);
      }
      text += p == 0 ? '=' : ':';
      text += family.info.parameters[p].name;
      text += '=';
      text += written;
    }
  }
  return text;
}

}  // namespace wavfx
