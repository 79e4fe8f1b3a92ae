#pragma once

#include <cstdint>

namespace wavfx {

// Drive, hard limit to [-1, 1], cubic soft clip, output level.
struct DistortionState {
  float drive;
  float outputLevel;
  uint32_t channels;
};

float SoftClip(float v);
void InitDistortion(DistortionState& state, float drive, uint32_t channels);
void ProcessDistortion(DistortionState& state, int16_t* samples, int32_t frames);

}  // namespace wavfx
