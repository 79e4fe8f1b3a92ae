#include "effects/reverb.h"

#include <algorithm>

#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

// Comb delays in samples at 44100 Hz, in channel 0's chain order, and the feedback of each place
// in the chain.
constexpr uint32_t kBaseLengths[4] = {1493, 1733, 1999, 2311};
constexpr float kFeedback[4] = {0.77f, 0.74f, 0.72f, 0.7f};

// The most frames worked on at a time.
constexpr std::size_t kChunkFrames = 256;

// scale * base truncated, at least 1. A negative scale (rates of 2^31 and up) gives 1; lengths
// of 2^32 and more become one that cannot be allocated.
uint32_t CombLength(double scale, uint32_t base) {
  const double length = scale * static_cast<double>(base);
  if (!(length >= 1.0)) return 1u;
  return length < 4294967295.0 ? static_cast<uint32_t>(length) : 4294967295u;
}

// The slot's old content comes out; the slot takes it times the feedback plus the input.
inline void CombStep(float& value, float& slot, float feedback) {
  const float old = slot;
  slot = old * feedback + value;
  value = old;
}

}  // namespace

void InitReverb(ReverbState& state, int32_t sampleRate, uint32_t channels, float wetGain,
                float dryGain, double size, float decay) {
  const double scale = static_cast<double>(sampleRate) * 2.2675736961451248e-05;  // rate / 44100
  for (int i = 0; i < 4; ++i) {
    state.firstCombs[i] = DelayLine{};
    state.secondCombs[i] = DelayLine{};
  }
  // Stereo's channel 1 runs the same delays rotated by one, so the channels decorrelate.
  bool allocated = true;
  for (int i = 0; i < 4 && allocated; ++i) {
    allocated = InitDelayLine(state.firstCombs[i], CombLength(scale * size, kBaseLengths[i]));
  }
  if (channels == 2) {
    for (int i = 0; i < 4 && allocated; ++i) {
      allocated =
          InitDelayLine(state.secondCombs[i], CombLength(scale * size, kBaseLengths[(i + 1) % 4]));
    }
  }
  // Without all its combs the effect stays inactive and passes the audio through.
  if (!allocated) ReleaseReverb(state);
  state.channels = channels;
  state.wetGain = wetGain;
  state.dryGain = dryGain;
  // The feedback belongs to the chain position, not to the delay.
  for (int i = 0; i < 4; ++i)
    state.feedback[i] = kFeedback[i] * decay;
}

// The slots a stretch up to the buffer's end meets are distinct, so it is one run for the vector
// kernel; the next stretch starts over at the buffer's start, reading what the earlier ones
// wrote.
void RunComb(DelayLine& comb, float* values, std::size_t count, float feedback) {
  if (comb.buffer == nullptr) return;
  const VectorKernels* kernels = ActiveKernels();
  ForEachRun(comb, count, [&](float* slots, std::size_t done, std::size_t size) {
    float* run = values + done;
    std::size_t i = kernels != nullptr ? kernels->comb(run, slots, size, feedback) : 0;
    for (; i < size; ++i) {
      CombStep(run[i], slots[i], feedback);
    }
  });
}

// Each channel's chain depends on its own samples only, and a comb's output on its input alone,
// so a chunk goes through the first comb, then the second, and so on, one channel at a time.
void ProcessReverb(ReverbState& state, float* samples, int32_t frames) {
  if (state.firstCombs[0].buffer == nullptr) return;  // inactive: untouched
  const uint32_t channels = state.channels;
  // Locals, which the stores to the samples cannot alias.
  const float wetGain = state.wetGain;
  const float dryGain = state.dryGain;
  float dry[kChunkFrames];
  float wet[kChunkFrames];
  for (auto left = static_cast<std::size_t>(std::max(frames, 0)); left > 0;) {
    const std::size_t count = std::min(kChunkFrames, left);
    for (uint32_t channel = 0; channel < channels; ++channel) {
      DelayLine* chain = channel == 0 ? state.firstCombs : state.secondCombs;
      for (std::size_t i = 0; i < count; ++i)
        wet[i] = dry[i] = samples[i * channels + channel];
      for (int i = 0; i < 4; ++i)
        RunComb(chain[i], wet, count, state.feedback[i]);
      for (std::size_t i = 0; i < count; ++i)
        samples[i * channels + channel] = wetGain * wet[i] + dryGain * dry[i];
    }
    samples += count * channels;
    left -= count;
  }
}

void ReleaseReverb(ReverbState& state) {
  // The second set is empty unless the stream is stereo; releasing an empty comb does nothing.
  for (int i = 0; i < 4; ++i) {
    ReleaseDelayLine(state.firstCombs[i]);
    ReleaseDelayLine(state.secondCombs[i]);
  }
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"wet", "", 0.42, 0, 1, 0, "gain of the reverberation"},
    {"dry", "", 0.7, 0, 1, 0, "gain of the input"},
    {"size", "", 1, 0.05, 4, 0, "room size: scales the four comb delays"},
    {"decay", "", 1, 0, 1.25, 0, "scales the four comb feedbacks"},
};
constexpr const char* kAliases[] = {"concert"};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitReverb(As<ReverbState>(state), static_cast<int32_t>(in.sampleRate), in.channels,
             Single(v.values[0]), Single(v.values[1]), v.values[2], Single(v.values[3]));
}

bool HasCombs(const void* state) {
  return As<ReverbState>(state).firstCombs[0].buffer != nullptr;
}

void Carry(const void* from, void* to, bool sameBuffers) {
  if (!sameBuffers) return;
  const auto& old = As<ReverbState>(from);
  auto& fresh = As<ReverbState>(to);
  for (int i = 0; i < 4; ++i) {
    fresh.firstCombs[i].position = old.firstCombs[i].position;
    fresh.secondCombs[i].position = old.secondCombs[i].position;
  }
}

}  // namespace

const EffectFamily kReverbFamily = {
    {"reverb", kAliases, 1, "hall reverberation from four combs in series", kParameters,
     CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(ReverbState),
     .init = Init,
     .process = ProcessAs<ReverbState, ProcessReverb>,
     .release = ReleaseAs<ReverbState, ReleaseReverb>,
     .changesAudio = HasCombs,
     .hasBuffers = HasCombs,
     .carry = Carry},
    true,
};

}  // namespace wavfx
