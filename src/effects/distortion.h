#pragma once

#include <bit>
#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Drive, hard limit to [-1, 1], cubic soft clip, output level.
struct DistortionState {
  float drive;
  float outputLevel;
  uint32_t channels;
};

// v - v^3 / 3, with the third one unit below the nearest float to 1/3.
inline float SoftClip(float v) {
  constexpr float kThird = std::bit_cast<float>(0x3EAAAAAAu);
  return v - v * v * v * kThird;
}

inline float DistortSample(float x, float drive, float outputLevel) {
  float v = x * drive;
  if (v > 1.0f) v = 1.0f;
  if (v < -1.0f) v = -1.0f;
  return outputLevel * SoftClip(v);
}

void InitDistortion(DistortionState& state, float drive, uint32_t channels, float outputLevel);
void ProcessDistortion(DistortionState& state, float* samples, int32_t frames);

extern const EffectFamily kDistortionFamily;

}  // namespace wavfx
