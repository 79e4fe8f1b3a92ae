#pragma once

#include <bit>
#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// The most channels of SoX's model, whose blockers' memories are held in the record.
constexpr uint32_t kSoxDistortionChannels = 8;

// Drive, hard limit to [-1, 1], cubic soft clip, output level. SoX's model, in double
// precision: the colour added before the clip, a DC blocker per channel after it and half the
// input mixed back.
struct DistortionState {
  float drive;
  float outputLevel;
  uint32_t channels;
  bool sox;
  double colour;
  double soxDrive;
  double soxLevel;
  double lastIn[kSoxDistortionChannels];
  double lastOut[kSoxDistortionChannels];
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
void InitSoxDistortion(DistortionState& state, double drive, double colour, double level,
                       uint32_t channels);
void ProcessDistortion(DistortionState& state, float* samples, int32_t frames);

extern const EffectFamily kDistortionFamily;

}  // namespace wavfx
