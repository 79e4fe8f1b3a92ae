#include "effects/tremolo.h"

#include <algorithm>
#include <cstddef>

#include "dsp/frame_gains.h"

namespace wavfx {
namespace {

// The most frames worked on at a time.
constexpr std::size_t kChunkFrames = 256;

float Gain(float sinePlusOne, float depth) {
  const float base = 1.0f - depth * 0.5f;
  return base + sinePlusOne * depth * 0.5f;
}

}  // namespace

void InitTremolo(TremoloState& state, int32_t sampleRate, float rateHz, float depth,
                 uint32_t channels) {
  // A zero rate makes the increment infinite; the gain is then NaN and the output silence.
  InitOscillator(state.oscillator, rateHz, sampleRate);
  state.depth = depth;
  state.channels = channels;
}

// The gain uses the phase before the frame's advance. The oscillator runs even when the stream
// has no channels. A chunk at a time: the oscillator's values, the gains, then the samples.
void ProcessTremolo(TremoloState& state, float* samples, int32_t frames) {
  const std::size_t channels = state.channels;
  float gains[kChunkFrames];
  for (auto left = static_cast<std::size_t>(std::max(frames, 0)); left > 0;) {
    const std::size_t count = std::min(kChunkFrames, left);
    SinePlusOneValues(state.oscillator, gains, count);
    for (std::size_t frame = 0; frame < count; ++frame) {
      gains[frame] = Gain(gains[frame], state.depth);
    }
    ApplyFrameGains(samples, gains, count, channels);
    samples += count * channels;
    left -= count;
  }
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"rate", "Hz", 5, 0.01, 100, 0, "speed of the volume swing"},
    {"depth", "", 0.7, 0, 1, 0, "swing: the gain runs from 1 - depth/2 to 1 + depth/2"},
};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitTremolo(As<TremoloState>(state), static_cast<int32_t>(in.sampleRate), Single(v.values[0]),
              Single(v.values[1]), in.channels);
}

void Carry(const void* from, void* to, bool) {
  As<TremoloState>(to).oscillator.phase = As<TremoloState>(from).oscillator.phase;
}

}  // namespace

const EffectFamily kTremoloFamily = {
    {"tremolo", nullptr, 0, "a sine swing of the volume", kParameters, CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(TremoloState),
     .init = Init,
     .process = ProcessAs<TremoloState, ProcessTremolo>,
     .carry = Carry},
};

}  // namespace wavfx
