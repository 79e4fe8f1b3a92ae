#include "effects/echo.h"

#include <algorithm>
#include <cstddef>

#include "dsp/simd_dispatch.h"

namespace wavfx {

void InitEcho(EchoState& state, uint32_t sampleRate, uint32_t channels, double delaySeconds,
              float feedback, float wetGain, float dryGain) {
  // 2^32 frames or more cannot be allocated, whatever the channel count; NaN gives one frame.
  const double frames = static_cast<double>(sampleRate) * delaySeconds;
  uint64_t delayFrames = 1;
  if (frames >= 1.0) {
    delayFrames = frames < 4294967296.0 ? static_cast<uint64_t>(frames) : uint64_t{1} << 32;
  }
  // A zero delay still gets one whole frame, so every channel's slot lies inside the buffer.
  // Both factors are at most 2^32: no wrap.
  InitDelayLine(state.line, std::max(delayFrames * channels, uint64_t{1}));
  state.feedback = feedback;
  state.wetGain = wetGain;
  state.dryGain = dryGain;
  state.channels = channels;
}

namespace {

// The output mixes the delayed value with the input; the slot takes the input plus feedback.
inline void EchoStep(float& sample, float& slot, float wetGain, float dryGain, float feedback) {
  const float x = sample;
  const float delayed = slot;
  sample = wetGain * delayed + dryGain * x;
  slot = feedback * delayed + x;
}

}  // namespace

// The buffer holds whole frames, so the block's samples meet its slots in order: channel c of a
// frame meets slot c of the frame's place.
void ProcessEcho(EchoState& state, float* samples, int32_t frames) {
  if (state.line.buffer == nullptr || frames <= 0) return;  // inactive: untouched
  const VectorKernels* kernels = ActiveKernels();
  const std::size_t count = static_cast<std::size_t>(frames) * state.channels;
  const float wetGain = state.wetGain;
  const float dryGain = state.dryGain;
  const float feedback = state.feedback;
  ForEachRun(state.line, count, [&](float* slots, std::size_t done, std::size_t size) {
    float* values = samples + done;
    std::size_t i =
        kernels != nullptr ? kernels->echo(values, slots, size, wetGain, dryGain, feedback) : 0;
    for (; i < size; ++i) {
      EchoStep(values[i], slots[i], wetGain, dryGain, feedback);
    }
  });
}

void ReleaseEcho(EchoState& state) {
  ReleaseDelayLine(state.line);
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"delay", "ms", 350, 1, 5000, 0, "time between repeats"},
    {"feedback", "", 0.45, -0.95, 0.95, 0, "each repeat's level relative to the last"},
    {"wet", "", 0.5, 0, 1, 0, "gain of the delayed signal"},
    {"dry", "", 0.7, 0, 1, 0, "gain of the input"},
};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitEcho(As<EchoState>(state), in.sampleRate, in.channels, v.values[0] * 0.001,
           Single(v.values[1]), Single(v.values[2]), Single(v.values[3]));
}

bool HasLine(const void* state) {
  return As<EchoState>(state).line.buffer != nullptr;
}

void Carry(const void* from, void* to, bool sameBuffers) {
  if (sameBuffers) As<EchoState>(to).line.position = As<EchoState>(from).line.position;
}

}  // namespace

const EffectFamily kEchoFamily = {
    {"echo", nullptr, 0, "a repeating echo", kParameters, CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(EchoState),
     .init = Init,
     .process = ProcessAs<EchoState, ProcessEcho>,
     .release = ReleaseAs<EchoState, ReleaseEcho>,
     .changesAudio = HasLine,
     .hasBuffers = HasLine,
     .carry = Carry},
};

}  // namespace wavfx
