#include "effects/widener.h"

#include <cstddef>

#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {

void InitWidener(WidenerState& state, float width, uint32_t channels) {
  state.width = width;
  state.channels = channels;
}

void ProcessWidener(WidenerState& state, int16_t* samples, int32_t frames) {
  // Only stereo is widened; every other layout passes through without conversion.
  if (state.channels != 2 || frames <= 0) return;
  const float width = state.width;
  const auto count = static_cast<std::size_t>(frames);
  const VectorKernels* kernels = ActiveKernels();
  const std::size_t vectorised = kernels != nullptr ? kernels->widen(samples, count, width) : 0;
  for (int16_t* frame = samples + 2 * vectorised; frame != samples + 2 * count; frame += 2) {
    const float left = SampleToFloat(frame[0]);
    const float right = SampleToFloat(frame[1]);
    const float mid = (right + left) * 0.5f;
    const float side = width * ((left - right) * 0.5f);
    frame[0] = FloatToSample(side + mid);
    frame[1] = FloatToSample(mid - side);
  }
}

}  // namespace wavfx
