#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/registry.h"
#include "wavfx/wavfx.h"

namespace wavfx {

constexpr uint32_t kMaxStages = WAVFX_MAX_STAGES;

// The stages of a chain as parsed, each with every parameter's value.
struct ChainRecipe {
  uint32_t count;
  EffectSettings stages[kMaxStages];
};

// Why a chain's text was refused: one of the WAVFX_ERROR_ codes and one line that names the
// stage, the parameter, the value and the valid range.
struct ChainError {
  int32_t code = 0;
  std::string message;
};

// Whether `text` names an effect as WAVEffect does rather than a chain: it has no '=' and no ',',
// and is not the name of a family WAVEffect does not know (such a name is a chain of that one
// stage). A plain name keeps the rule of WAVEffect, where an unknown name copies the audio.
bool IsPlainName(std::string_view text);

// Parses `name[=key=value[:key=value]...][,name...]`. Names and keys ignore the case of A-Z;
// blanks around names, keys and values are ignored. Returns false with `error` filled on the
// first mistake.
bool ParseChain(std::string_view text, ChainRecipe& recipe, ChainError& error);

}  // namespace wavfx
