#include "effects/distortion.h"

#include <bit>
#include <cstddef>

#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {

// v - v^3 / 3, with the third one unit below the nearest float to 1/3.
float SoftClip(float v) {
  constexpr float kThird = std::bit_cast<float>(0x3EAAAAAAu);
  return v - v * v * v * kThird;
}

void InitDistortion(DistortionState& state, float drive, uint32_t channels) {
  state.drive = drive;
  state.outputLevel = 0.7f;
  state.channels = channels;
}

void ProcessDistortion(DistortionState& state, int16_t* samples, int32_t frames) {
  if (frames <= 0 || state.channels == 0) return;
  const float drive = state.drive;
  const float outputLevel = state.outputLevel;
  const std::size_t count = static_cast<std::size_t>(frames) * state.channels;
  const VectorKernels* kernels = ActiveKernels();
  const std::size_t vectorised =
      kernels != nullptr ? kernels->distort(samples, count, drive, outputLevel) : 0;
  for (std::size_t i = vectorised; i < count; ++i) {
    float v = SampleToFloat(samples[i]) * drive;
    if (v > 1.0f) v = 1.0f;
    if (v < -1.0f) v = -1.0f;
    samples[i] = FloatToSample(outputLevel * SoftClip(v));
  }
}

}  // namespace wavfx
