#include "effects/widener.h"

#include <cstddef>

#include "engine/sample_conversion.h"

namespace wavfx {

void InitWidener(WidenerState& state, float width, uint32_t channels) {
  state.width = width;
  state.channels = channels;
}

void ProcessWidener(WidenerState& state, int16_t* samples, int32_t frames) {
  // Only stereo is widened; every other layout passes through without conversion.
  if (state.channels != 2 || frames <= 0) return;
  const float width = state.width;
  int16_t* const end = samples + 2 * static_cast<std::size_t>(frames);
  for (int16_t* frame = samples; frame != end; frame += 2) {
    const float left = SampleToFloat(frame[0]);
    const float right = SampleToFloat(frame[1]);
    const float mid = (right + left) * 0.5f;
    const float side = width * ((left - right) * 0.5f);
    frame[0] = FloatToSample(side + mid);
    frame[1] = FloatToSample(mid - side);
  }
}

}  // namespace wavfx
