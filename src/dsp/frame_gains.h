#pragma once

#include <cstddef>

namespace wavfx {

// Multiplies every value of each of `frames` interleaved frames of `channels` values by the
// frame's gain.
void ApplyFrameGains(float* values, const float* gains, std::size_t frames, std::size_t channels);

}  // namespace wavfx
