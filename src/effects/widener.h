#pragma once

#include <cstdint>

namespace wavfx {

// Mid/side widener for stereo streams; other channel counts pass through untouched.
struct WidenerState {
  float width;
  uint32_t channels;
};

void InitWidener(WidenerState& state, float width, uint32_t channels);
void ProcessWidener(WidenerState& state, int16_t* samples, int32_t frames);

}  // namespace wavfx
