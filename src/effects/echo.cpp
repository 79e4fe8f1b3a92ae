#include "effects/echo.h"

#include <algorithm>
#include <bit>
#include <cstddef>

#include "dsp/sample_buffer.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"

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

// Frame by frame: each channel's slot gives its delayed value and takes its input plus feedback.
// With a buffer of whole frames the slots a run of samples meets are consecutive and distinct,
// so a stretch up to the buffer's end is one run, which the vector kernel may take.
void ProcessEcho(EchoState& state, int16_t* samples, int32_t frames) {
  if (state.buffer == nullptr || frames <= 0) return;  // no buffer: the audio passes untouched
  const uint32_t channels = state.channels;
  const VectorKernels* kernels = ActiveKernels();
  if (kernels != nullptr && channels != 0 && state.length % channels == 0) {
    std::size_t left = static_cast<std::size_t>(frames) * channels;
    while (left > 0) {
      const std::size_t run = std::min<std::size_t>(left, state.length - state.position);
      kernels->echo(samples, state.buffer + state.position, run, state.wetGain, state.dryGain,
                    state.feedback);
      samples += run;
      left -= run;
      state.position += static_cast<uint32_t>(run);
      if (state.position >= state.length) state.position = 0;
    }
    return;
  }
  for (int32_t frame = 0; frame < frames; ++frame) {
    float* slots = state.buffer + state.position;
    for (uint32_t channel = 0; channel < channels; ++channel, ++samples) {
      const float x = SampleToFloat(*samples);
      const float delayed = slots[channel];
      *samples = FloatToSample(state.wetGain * delayed + state.dryGain * x);
      slots[channel] = state.feedback * delayed + x;
    }
    state.position += channels;
    if (state.position >= state.length) state.position = 0;
  }
}

void ReleaseEcho(EchoState& state) {
  FreeSamples(state.buffer);
  state.length = 0;
  state.position = 0;
}

}  // namespace wavfx
