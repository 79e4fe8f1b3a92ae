#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "dsp/sample_conversion.h"
#include "engine/effect.h"

namespace wavfx::testing {

// Initialises the stage that `text` describes: a name, with settings after '=' when not its
// defaults.
void InitStage(EffectState& state, const char* text, uint32_t channels, uint32_t rate);

// Runs `samples` (interleaved, whole frames) through the named effect in blocks of
// `blockFrames` frames, the way a stream would, and returns the processed samples.
std::vector<int16_t> RunEffect(const char* name, uint32_t channels, uint32_t sampleRate,
                               std::vector<int16_t> samples, int32_t blockFrames = 512);

// Runs one effect's `process` over `frames` frames of 16-bit samples as the engine does: converted
// to floats, processed in place, converted back. The channel count is the state's.
template <class State>
void ProcessSamples(void (*process)(State&, float*, int32_t), State& state, int16_t* samples,
                    int32_t frames) {
  const std::size_t count = frames > 0 ? static_cast<std::size_t>(frames) * state.channels : 0;
  std::vector<float> values(std::max<std::size_t>(count, 1));
  SamplesToFloats(samples, values.data(), count);
  process(state, values.data(), frames);
  FloatsToSamples(values.data(), samples, count);
}

// A constant signal of `frames` frames in every channel.
std::vector<int16_t> Constant(int16_t value, std::size_t frames, uint32_t channels = 1);

// `value` at frame 0 of `channel`, zeros elsewhere.
std::vector<int16_t> Impulse(int16_t value, std::size_t frames, uint32_t channels = 1,
                             uint32_t channel = 0);

// The samples of one channel.
std::vector<int16_t> Channel(const std::vector<int16_t>& samples, uint32_t channels,
                             uint32_t channel);

}  // namespace wavfx::testing
