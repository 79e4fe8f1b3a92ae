#include "dsp/frame_gains.h"

#include "dsp/simd_dispatch.h"

namespace wavfx {

void ApplyFrameGains(float* values, const float* gains, std::size_t frames, std::size_t channels) {
  const VectorKernels* kernels = ActiveKernels();
  std::size_t frame = kernels != nullptr ? kernels->scale(values, gains, frames, channels) : 0;
  for (float* at = values + frame * channels; frame < frames; ++frame) {
    for (std::size_t channel = 0; channel < channels; ++channel, ++at) {
      *at = *at * gains[frame];
    }
  }
}

}  // namespace wavfx
