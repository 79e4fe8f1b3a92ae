// Fuzz target over the chain parser and the stages it builds: any text is parsed; an accepted
// chain holds only values in range, and runs a short burst of loud audio to finite output in
// both the float and the 16-bit path.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "engine/chain_text.h"
#include "engine/registry.h"
#include "require.h"
#include "wavfx/wavfx.h"

namespace {

void CheckRanges(const wavfx::ChainRecipe& recipe) {
  Require(recipe.count >= 1 && recipe.count <= wavfx::kMaxStages);
  for (uint32_t i = 0; i < recipe.count; ++i) {
    const auto& family = wavfx::FamilyOf(recipe.stages[i].kind);
    const auto parameters = wavfx::ParametersOf(family);
    for (std::size_t p = 0; p < parameters.size(); ++p) {
      const double value = recipe.stages[i].values[p];
      Require(value >= parameters[p].minimum && value <= parameters[p].maximum);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static wavfx::ChainRecipe recipe;
  wavfx::ChainError error;
  if (!wavfx::ParseChain(text, recipe, error)) {
    Require(error.code < 0 && !error.message.empty() &&
            error.message.find('\n') == std::string::npos);
    return 0;
  }
  CheckRanges(recipe);
  // The C API takes a null-terminated text; an embedded NUL ends it there.
  const std::string terminated(text);
  constexpr int32_t kFrames = 700;
  for (uint32_t rate : {8000u, 96000u}) {
    wavfx_error problem;
    wavfx_effect* effect = wavfx_chain_create(terminated.c_str(), 2, rate, &problem);
    if (effect == nullptr)
      continue;  // a NUL cut the text short, the stream does not fit it,
                 // or memory was short
    if (wavfx_effect_reshapes(effect) != 0) {  // the flow fuzzer runs these
      Require(wavfx_effect_process_float(effect, nullptr, 0) == WAVFX_ERROR_RESHAPES);
      wavfx_effect_destroy(effect);
      continue;
    }
    float values[2 * kFrames];
    int16_t samples[2 * kFrames];
    for (int32_t i = 0; i < 2 * kFrames; ++i) {
      values[i] = (i % 37 < 18 ? 1.0f : -1.0f) * static_cast<float>(i % 5) * 0.25f;
      samples[i] = static_cast<int16_t>(i % 2 == 0 ? 32767 : -32768);
    }
    Require(wavfx_effect_process_float(effect, values, kFrames) == WAVFX_OK);
    for (float value : values)
      Require(std::isfinite(value));
    Require(wavfx_effect_reset(effect) == WAVFX_OK);
    Require(wavfx_effect_process(effect, samples, kFrames) == WAVFX_OK);
    wavfx_effect_destroy(effect);
  }
  return 0;
}
