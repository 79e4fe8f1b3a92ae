#include "effects/bitcrusher.h"

#include <cstddef>

#include "dsp/effect_math.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {

void InitBitcrusher(BitcrusherState& state, int32_t bits, uint32_t channels) {
  state.channels = channels;
  if (bits < 4) bits = 4;
  if (bits > 12) bits = 12;
  state.levels = int32_t{1} << bits;
}

void ProcessBitcrusher(BitcrusherState& state, int16_t* samples, int32_t frames) {
  if (frames <= 0 || state.channels == 0) return;
  const auto levels = static_cast<float>(state.levels);
  const float top = levels - 1.0f;
  const float half = levels * 0.5f;
  const float step = 1.0f / half;
  const std::size_t count = static_cast<std::size_t>(frames) * state.channels;
  const VectorKernels* kernels = ActiveKernels();
  const std::size_t vectorised =
      kernels != nullptr ? kernels->crush(samples, count, half, top, step) : 0;
  // Each value drops to the lower edge of its cell: level q of levels stands for step * q - 1.
  // t lies within +-2^31 for every 32-bit level count, where FloorSmall is the floor.
  for (std::size_t i = vectorised; i < count; ++i) {
    const float t = (SampleToFloat(samples[i]) + 1.0f) * half;
    auto q = static_cast<float>(FloorSmall(static_cast<double>(t)));
    if (q < 0.0f) q = 0.0f;
    if (q > top) q = top;
    samples[i] = FloatToSample(step * q - 1.0f);
  }
}

}  // namespace wavfx
