#include "support/effect_runner.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "engine/chain_text.h"

namespace wavfx::testing {

void InitStage(EffectState& state, const char* text, uint32_t channels, uint32_t rate) {
  ChainRecipe recipe{};
  ChainError error{};
  if (!ParseChain(text, recipe, error)) ADD_FAILURE() << text;
  InitEffect(state, recipe.stages[0], channels, rate);
}

std::vector<int16_t> RunEffect(const char* name, uint32_t channels, uint32_t sampleRate,
                               std::vector<int16_t> samples, int32_t blockFrames) {
  EffectState state{};
  InitEffect(state, name, channels, sampleRate);
  const std::size_t frames = channels == 0 ? 0 : samples.size() / channels;
  for (std::size_t start = 0; start < frames; start += static_cast<std::size_t>(blockFrames)) {
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(blockFrames), frames - start);
    ProcessEffect(state, samples.data() + start * channels, static_cast<int32_t>(count));
  }
  ReleaseEffect(state);
  return samples;
}

std::vector<int16_t> Constant(int16_t value, std::size_t frames, uint32_t channels) {
  return std::vector<int16_t>(frames * channels, value);
}

std::vector<int16_t> Impulse(int16_t value, std::size_t frames, uint32_t channels,
                             uint32_t channel) {
  std::vector<int16_t> samples(frames * channels, 0);
  samples[channel] = value;
  return samples;
}

std::vector<int16_t> Channel(const std::vector<int16_t>& samples, uint32_t channels,
                             uint32_t channel) {
  std::vector<int16_t> out;
  for (std::size_t i = channel; i < samples.size(); i += channels)
    out.push_back(samples[i]);
  return out;
}

}  // namespace wavfx::testing
