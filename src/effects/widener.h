#pragma once

#include <cstdint>

#include "effects/family.h"

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
  // The right channel's side is the left's negated exactly; adding it, as the vector kernel
  // does, also gives a silent (-0, -0) frame the kernel's +0.
  frame[1] = width * ((right - left) * 0.5f) + mid;
}

void InitWidener(WidenerState& state, float width, uint32_t channels);
void ProcessWidener(WidenerState& state, float* samples, int32_t frames);

extern const EffectFamily kWidenerFamily;

}  // namespace wavfx
