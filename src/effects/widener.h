#pragma once

#include <cstdint>

namespace wavfx {

// Mid/side widener for stereo streams; other channel counts pass through untouched.
struct WidenerState {
  float width;
  uint32_t channels;
};

inline void WidenFrame(float* frame, float width) {
  const float left = frame[0];
  const float right = frame[1];
  const float mid = (right + left) * 0.5f;
  const float side = width * ((left - right) * 0.5f);
  frame[0] = side + mid;
  frame[1] = mid - side;
}

void InitWidener(WidenerState& state, float width, uint32_t channels);
void ProcessWidener(WidenerState& state, float* samples, int32_t frames);

}  // namespace wavfx
