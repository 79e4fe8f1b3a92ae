#include "engine/chain.h"

#include <algorithm>
#include <new>

#include "dsp/pcm_conversion.h"
#include "dsp/sample_conversion.h"
#include "engine/chain_flow.h"
#include "engine/registry.h"

namespace wavfx {
namespace {

// Samples converted at a time: a 2048-byte block of 16-bit samples is one chunk.
constexpr std::size_t kChunkSamples = 1024;

void RunStages(EffectChain& chain, float* samples, std::size_t frames) {
  for (uint32_t i = 0; i < chain.recipe.count; ++i) {
    EffectState& stage = chain.stages[i];
    if (EffectChangesAudio(stage))
      ProcessEffectFloats(stage, samples, static_cast<int32_t>(frames));
  }
}

// The one stage that changes the audio, or null when there are none or several.
EffectState* LoneStage(EffectChain& chain) {
  EffectState* lone = nullptr;
  for (uint32_t i = 0; i < chain.recipe.count; ++i) {
    if (!EffectChangesAudio(chain.stages[i])) continue;
    if (lone != nullptr) return nullptr;
    lone = &chain.stages[i];
  }
  return lone;
}

}  // namespace

ChainRecipe RecipeOfName(const char* name) {
  ChainRecipe recipe{};
  recipe.count = 1;
  recipe.stages[0] = DefaultSettings(FamilyOf(KindOfName(name)));
  return recipe;
}

void FollowOutputDepth(ChainRecipe& recipe, int bits) {
  for (uint32_t i = 0; i < recipe.count; ++i) {
    const EffectFamily& family = FamilyOf(recipe.stages[i].kind);
    if (family.ops.followOutput != nullptr) family.ops.followOutput(recipe.stages[i], bits);
  }
}

bool InitChain(EffectChain& chain, const ChainRecipe& recipe, uint32_t channels,
               uint32_t sampleRate, uint64_t frames) {
  chain.recipe = recipe;
  chain.channels = channels;
  chain.sampleRate = sampleRate;
  StreamShape shape{channels, sampleRate};
  chain.reshapes = false;
  for (uint32_t i = 0; i < recipe.count; ++i) {
    chain.stages[i] = EffectState{};
    InitEffect(chain.stages[i], recipe.stages[i], shape.channels, shape.sampleRate);
    const EffectFamily& family = *chain.stages[i].family;
    if (!Reshapes(family) || (frames > 0 && TellEffectLength(chain.stages[i], frames))) continue;
    chain.reshapes = true;
    shape = ShapeAfter(family, recipe.stages[i], shape);
    if (family.ops.flow != nullptr) frames = 0;  // a delayed in-place stage keeps the length
  }
  chain.output = shape;
  chain.wideFrame = nullptr;
  if (channels > kChunkSamples) chain.wideFrame = new (std::nothrow) float[channels];
  const bool queued = !chain.reshapes || InitChainQueues(chain);
  return queued && (channels <= kChunkSamples || chain.wideFrame != nullptr);
}

bool ChainChangesAudio(const EffectChain& chain) {
  for (uint32_t i = 0; i < chain.recipe.count; ++i) {
    if (EffectChangesAudio(chain.stages[i])) return true;
  }
  return false;
}

bool ChainHasItsBuffers(const EffectChain& chain) {
  for (uint32_t i = 0; i < chain.recipe.count; ++i) {
    if (!EffectHasItsBuffers(chain.stages[i])) return false;
  }
  return true;
}

uint64_t ProcessChainFloats(EffectChain& chain, float* samples, std::size_t frames) {
  if (!ChainChangesAudio(chain)) return 0;
  const uint64_t nonFinite = ZeroNonFinite(samples, frames * chain.channels);
  RunStages(chain, samples, frames);
  return nonFinite;
}

void ProcessChainFinite(EffectChain& chain, float* samples, std::size_t frames) {
  RunStages(chain, samples, frames);
}

void ProcessChainSamples(EffectChain& chain, int16_t* samples, std::size_t frames) {
  const std::size_t channels = chain.channels;
  if (channels == 0 || !ChainChangesAudio(chain)) return;
  alignas(64) float chunk[kChunkSamples];
  float* values = chain.wideFrame != nullptr ? chain.wideFrame : chunk;
  const std::size_t chunkFrames = std::max<std::size_t>(kChunkSamples / channels, 1);
  // A lone stage that works on 16-bit samples takes them in long calls of its own choosing.
  constexpr std::size_t kLoneFrames = std::size_t{1} << 20;
  EffectState* lone = LoneStage(chain);
  for (std::size_t left = frames; left > 0;) {
    const std::size_t whole = std::min(kLoneFrames, left);
    if (lone != nullptr && ProcessEffectSamples(*lone, samples, static_cast<int32_t>(whole))) {
      samples += whole * channels;
      left -= whole;
      continue;
    }
    const std::size_t count = std::min(chunkFrames, left);
    SamplesToFloats(samples, values, count * channels);
    RunStages(chain, values, count);
    FloatsToSamples(values, samples, count * channels);
    samples += count * channels;
    left -= count;
  }
}

uint64_t ProcessChainInts(EffectChain& chain, int32_t* samples, std::size_t frames, int bits) {
  const std::size_t channels = chain.channels;
  if (channels == 0 || !ChainChangesAudio(chain)) return 0;
  alignas(64) float chunk[kChunkSamples];
  float* values = chain.wideFrame != nullptr ? chain.wideFrame : chunk;
  const std::size_t chunkFrames = std::max<std::size_t>(kChunkSamples / channels, 1);
  uint64_t clipped = 0;
  for (std::size_t left = frames; left > 0;) {
    const std::size_t count = std::min(chunkFrames, left);
    IntsToFloats(samples, values, count * channels, bits);
    RunStages(chain, values, count);
    clipped += FloatsToInts(values, samples, count * channels, bits);
    samples += count * channels;
    left -= count;
  }
  return clipped;
}

void ReleaseChain(EffectChain& chain) {
  for (uint32_t i = 0; i < chain.recipe.count; ++i) {
    ReleaseEffect(chain.stages[i]);
  }
  delete[] chain.wideFrame;
  chain.wideFrame = nullptr;
  ReleaseChainQueues(chain);
}

}  // namespace wavfx
