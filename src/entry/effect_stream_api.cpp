#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/chain.h"
#include "engine/chain_flow.h"
#include "engine/chain_measure.h"
#include "engine/registry.h"
#include "wavfx/wavfx.h"

#include "entry/effect_handle.h"

namespace wavfx {
namespace {

// The recipe of one family at its defaults; false for a name the registry does not have.
bool RecipeOfFamily(const char* name, ChainRecipe& recipe) {
  const EffectFamily* family = FindEffectFamily(name);
  if (family == nullptr) return false;
  recipe = ChainRecipe{};
  recipe.count = 1;
  recipe.stages[0] = DefaultSettings(*family);
  return true;
}

void Report(wavfx_error* error, int32_t code, const char* message) {
  if (error == nullptr) return;
  error->code = code;
  std::snprintf(error->message, sizeof error->message, "%s", message);
}

// A new instance of `recipe`, or null when memory for it or its delay lines is short.
wavfx_effect* CreateInstance(const ChainRecipe& recipe, uint32_t channels, uint32_t sampleRate) {
  auto* effect = new (std::nothrow) wavfx_effect;
  if (effect == nullptr) return nullptr;
  const bool ready = InitChain(effect->chain, recipe, channels, sampleRate);
  if (!ready || !ChainHasItsBuffers(effect->chain)) {
    ReleaseChain(effect->chain);
    delete effect;
    return nullptr;
  }
  return effect;
}

// The checks every processing call makes before it touches the samples.
template <class Sample, class Run>
int32_t Process(wavfx_effect* effect, Sample* samples, int32_t frames, Run run) {
  if (effect == nullptr) return WAVFX_ERROR_NULL_EFFECT;
  if (frames < 0) return WAVFX_ERROR_NEGATIVE_FRAMES;
  if (effect->chain.reshapes) return WAVFX_ERROR_RESHAPES;
  if (frames == 0) return WAVFX_OK;
  if (samples == nullptr) return WAVFX_ERROR_NULL_SAMPLES;
  run(samples, static_cast<std::size_t>(frames));
  return WAVFX_OK;
}

}  // namespace
}  // namespace wavfx

extern "C" WAVFX_API const char* wavfx_version(void) noexcept {
  return WAVFX_VERSION;
}

extern "C" WAVFX_API wavfx_effect* wavfx_effect_create(const char* name, uint32_t channels,
                                                       uint32_t sample_rate) noexcept {
  wavfx::ChainRecipe recipe;
  wavfx::ChainError misfit;
  if (name == nullptr || channels == 0 || sample_rate == 0 ||
      !wavfx::RecipeOfFamily(name, recipe) ||
      !wavfx::ChainFits(recipe, {channels, sample_rate}, misfit) ||
      !wavfx::ChainMeasured(recipe, misfit)) {
    return nullptr;
  }
  return wavfx::CreateInstance(recipe, channels, sample_rate);
}

extern "C" WAVFX_API wavfx_effect* wavfx_chain_create(const char* chain, uint32_t channels,
                                                      uint32_t sample_rate,
                                                      wavfx_error* error) noexcept {
  wavfx::Report(error, WAVFX_OK, "");
  if (chain == nullptr) {
    wavfx::Report(error, WAVFX_ERROR_NULL_ARGUMENT, "no chain given");
    return nullptr;
  }
  if (channels == 0 || sample_rate == 0) {
    wavfx::Report(error, WAVFX_ERROR_BAD_STREAM, "a stream needs channels and a sample rate");
    return nullptr;
  }
  auto* recipe = new (std::nothrow) wavfx::ChainRecipe;
  wavfx::ChainError problem;
  wavfx_effect* effect = nullptr;
  if (recipe == nullptr) {
    problem = {WAVFX_ERROR_NO_MEMORY, "out of memory"};
  } else if (wavfx::ParseChain(chain, *recipe, problem) &&
             wavfx::ChainFits(*recipe, {channels, sample_rate}, problem) &&
             wavfx::ChainMeasured(*recipe, problem)) {
    effect = wavfx::CreateInstance(*recipe, channels, sample_rate);
    if (effect == nullptr)
      problem = {WAVFX_ERROR_NO_MEMORY,
                 "the effects' delay lines need more memory than can be had"};
  }
  delete recipe;
  if (effect == nullptr) wavfx::Report(error, problem.code, problem.message.c_str());
  return effect;
}

extern "C" WAVFX_API int32_t wavfx_effect_process(wavfx_effect* effect, int16_t* samples,
                                                  int32_t frames) noexcept {
  return wavfx::Process(effect, samples, frames, [effect](auto* at, std::size_t count) {
    wavfx::ProcessChainSamples(effect->chain, at, count);
  });
}

extern "C" WAVFX_API int32_t wavfx_effect_process_float(wavfx_effect* effect, float* samples,
                                                        int32_t frames) noexcept {
  return wavfx::Process(effect, samples, frames, [effect](auto* at, std::size_t count) {
    wavfx::ProcessChainFloats(effect->chain, at, count);
  });
}

extern "C" WAVFX_API int32_t wavfx_effect_reset(wavfx_effect* effect) noexcept {
  if (effect == nullptr) return WAVFX_ERROR_NULL_EFFECT;
  wavfx_effect* fresh =
      wavfx::CreateInstance(effect->chain.recipe, effect->chain.channels, effect->chain.sampleRate);
  if (fresh == nullptr) return WAVFX_ERROR_NO_MEMORY;
  wavfx::ReleaseChain(effect->chain);
  std::memcpy(static_cast<void*>(effect), fresh, sizeof *effect);
  delete fresh;  // its buffers now belong to `effect`
  return WAVFX_OK;
}

extern "C" WAVFX_API uint32_t wavfx_effect_channels(const wavfx_effect* effect) noexcept {
  return effect != nullptr ? effect->chain.channels : 0;
}

extern "C" WAVFX_API uint32_t wavfx_effect_sample_rate(const wavfx_effect* effect) noexcept {
  return effect != nullptr ? effect->chain.sampleRate : 0;
}

extern "C" WAVFX_API void wavfx_effect_destroy(wavfx_effect* effect) noexcept {
  if (effect == nullptr) return;
  wavfx::ReleaseChain(effect->chain);
  delete effect;
}

extern "C" WAVFX_API size_t wavfx_effect_name_count(void) noexcept {
  return wavfx::RegistryNames().size();
}

extern "C" WAVFX_API const char* wavfx_effect_name(size_t index) noexcept {
  const auto names = wavfx::RegistryNames();
  return index < names.size() ? names[index].literal : nullptr;
}

extern "C" WAVFX_API const char* wavfx_effect_name_description(size_t index) noexcept {
  const auto names = wavfx::RegistryNames();
  return index < names.size() ? wavfx::FamilyOf(names[index].kind).info.description : nullptr;
}

extern "C" WAVFX_API int wavfx_effect_name_is_alias(size_t index) noexcept {
  const auto names = wavfx::RegistryNames();
  return index > 0 && index < names.size() && names[index].kind == names[index - 1].kind ? 1 : 0;
}

extern "C" WAVFX_API size_t wavfx_effect_info_count(void) noexcept {
  return wavfx::EffectFamilies().size();
}

extern "C" WAVFX_API const wavfx_effect_info* wavfx_effect_info_at(size_t index) noexcept {
  const auto families = wavfx::EffectFamilies();
  return index < families.size() ? &families[index]->info : nullptr;
}

extern "C" WAVFX_API int32_t wavfx_effect_process_int32(wavfx_effect* effect, int32_t* samples,
                                                        int32_t frames) noexcept {
  return wavfx::Process(effect, samples, frames, [effect](auto* at, std::size_t count) {
    wavfx::ProcessChainInts(effect->chain, at, count, 32);
  });
}
