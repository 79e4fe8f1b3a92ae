#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wavfx::testing {

// The deterministic test signals behind the golden outputs. They are computed with integer
// arithmetic and basic IEEE operations only, so every platform makes the same samples.
struct SignalRecipe {
  std::string name;  // impulse, silence, square, sweep, noise, mix
  uint32_t channels;
  uint32_t sampleRate;
};

const std::vector<std::string>& SignalNames();
const std::vector<uint32_t>& SignalChannelCounts();
const std::vector<uint32_t>& SignalSampleRates();

// Frames long enough for every effect to pass its start-up at the common rates.
std::size_t SignalFrames(uint32_t sampleRate);

// Interleaved samples of one signal.
std::vector<int16_t> MakeSignal(const SignalRecipe& signal);

}  // namespace wavfx::testing
