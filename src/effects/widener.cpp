#include "effects/widener.h"

#include <cstddef>

#include "dsp/simd_dispatch.h"

namespace wavfx {

void InitWidener(WidenerState& state, float width, uint32_t channels) {
  state.width = width;
  state.channels = channels;
}

void ProcessWidener(WidenerState& state, float* samples, int32_t frames) {
  if (state.channels != 2 || frames <= 0) return;
  const float width = state.width;
  const auto count = static_cast<std::size_t>(frames);
  const VectorKernels* kernels = ActiveKernels();
  std::size_t frame = kernels != nullptr ? kernels->widen(samples, count, width) : 0;
  for (; frame < count; ++frame) {
    WidenFrame(samples + 2 * frame, width);
  }
}

}  // namespace wavfx
