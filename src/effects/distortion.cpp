#include "effects/distortion.h"

#include <cstddef>

#include "dsp/simd_dispatch.h"

namespace wavfx {

void InitDistortion(DistortionState& state, float drive, uint32_t channels, float outputLevel) {
  state.drive = drive;
  state.outputLevel = outputLevel;
  state.channels = channels;
}

void ProcessDistortion(DistortionState& state, float* samples, int32_t frames) {
  if (frames <= 0 || state.channels == 0) return;
  const float drive = state.drive;
  const float outputLevel = state.outputLevel;
  const std::size_t count = static_cast<std::size_t>(frames) * state.channels;
  const VectorKernels* kernels = ActiveKernels();
  std::size_t i = kernels != nullptr ? kernels->distort(samples, count, drive, outputLevel) : 0;
  for (; i < count; ++i) {
    samples[i] = DistortSample(samples[i], drive, outputLevel);
  }
}

}  // namespace wavfx
