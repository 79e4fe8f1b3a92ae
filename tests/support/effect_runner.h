#pragma once

#include <cstdint>
#include <vector>

namespace wavfx::testing {

// Runs `samples` (interleaved, whole frames) through the named effect in blocks of
// `blockFrames` frames, the way a stream would, and returns the processed samples.
std::vector<int16_t> RunEffect(const char* name, uint32_t channels, uint32_t sampleRate,
                               std::vector<int16_t> samples, int32_t blockFrames = 512);

// A constant signal of `frames` frames in every channel.
std::vector<int16_t> Constant(int16_t value, std::size_t frames, uint32_t channels = 1);

// `value` at frame 0 of `channel`, zeros elsewhere.
std::vector<int16_t> Impulse(int16_t value, std::size_t frames, uint32_t channels = 1,
                             uint32_t channel = 0);

// The samples of one channel.
std::vector<int16_t> Channel(const std::vector<int16_t>& samples, uint32_t channels,
                             uint32_t channel);

}  // namespace wavfx::testing
