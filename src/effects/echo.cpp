#include "effects/echo.h"

#include <algorithm>
#include <bit>

#include "effects/sample_buffer.h"
#include "engine/sample_conversion.h"

namespace wavfx {

void InitEcho(EchoState& state, uint32_t sampleRate, uint32_t channels) {
  // One ulp above the double nearest 0.35: 44100 Hz gives 15435 frames, not 15434.
  const double delaySeconds = std::bit_cast<double>(0x3FD6666666666667ull);
  // At most 0xFFFFFFFF * 0.35, so the conversion is always in range.
  const auto delayFrames = static_cast<uint32_t>(static_cast<double>(sampleRate) * delaySeconds);
  // A zero delay still gets one whole frame, so every channel's slot lies inside the buffer.
  const uint64_t frameValues = uint64_t{std::max(delayFrames, 1u)} * channels;
  const uint64_t length = std::max(frameValues, uint64_t{1});
  state.buffer = AllocateSamples(length);
  state.length = state.buffer != nullptr ? static_cast<uint32_t>(length) : 0;
  state.position = 0;
  state.feedback = 0.45f;
  state.wetGain = 0.5f;
  state.dryGain = 0.7f;
  state.channels = channels;
}

void ProcessEcho(EchoState& state, int16_t* samples, int32_t frames) {
  if (state.buffer == nullptr) return;  // no buffer: the audio passes through untouched
  for (int32_t frame = 0; frame < frames; ++frame) {
    float* slots = state.buffer + state.position;
    for (uint32_t channel = 0; channel < state.channels; ++channel, ++samples) {
      const float x = SampleToFloat(*samples);
      const float delayed = slots[channel];
      *samples = FloatToSample(state.wetGain * delayed + state.dryGain * x);
      slots[channel] = state.feedback * delayed + x;
    }
    state.position += state.channels;
    if (state.position >= state.length) state.position = 0;
  }
}

void ReleaseEcho(EchoState& state) {
  FreeSamples(state.buffer);
  state.length = 0;
  state.position = 0;
}

}  // namespace wavfx
