#include "effects/bitcrusher.h"

#include <cmath>
#include <cstddef>

#include "engine/sample_conversion.h"

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
  int16_t* const end = samples + static_cast<std::size_t>(frames) * state.channels;
  // Each value drops to the lower edge of its cell: level q of levels stands for step * q - 1.
  for (int16_t* sample = samples; sample != end; ++sample) {
    const float t = (SampleToFloat(*sample) + 1.0f) * half;
    auto q = static_cast<float>(std::floor(static_cast<double>(t)));
    if (q < 0.0f) q = 0.0f;
    if (q > top) q = top;
    *sample = FloatToSample(step * q - 1.0f);
  }
}

}  // namespace wavfx
