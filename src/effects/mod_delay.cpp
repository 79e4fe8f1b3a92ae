#include "effects/mod_delay.h"

#include <algorithm>
#include <cstddef>

#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

// Sane rates keep the read point within about one buffer length of the buffer. A read point
// beyond this many lengths comes from a degenerate rate (a NaN, infinite or huge delay), where
// wrapping one length at a time would take millions of steps, or never end.
constexpr float kMaxWraps = 8.0f;

// The most frames worked on at a time.
constexpr std::size_t kChunkFrames = 256;

// Buffers of fewer frames than this have frame numbers exact in float.
constexpr uint32_t kLargestVectorSpan = 1u << 24;

// Where the frames of a chunk read: frame i's delayed value blends buffer frames older[i] and
// newer[i], the newer weighing frac[i].
struct ReadPoints {
  uint32_t older[kChunkFrames];
  uint32_t newer[kChunkFrames];
  float frac[kChunkFrames];
};

// Frame i's read point, `delay` frames before buffer frame `wFrame` of a buffer of `span` frames.
void ReadPointAt(ReadPoints& points, std::size_t i, uint32_t wFrame, float delay, uint32_t span) {
  const auto spanF = static_cast<float>(span);
  const float limit = kMaxWraps * spanF;
  float pos = static_cast<float>(wFrame) - delay;
  if (!(pos > -limit && pos < limit)) pos = 0.0f;
  while (pos < 0.0f)
    pos += spanF;
  while (pos >= spanF)
    pos -= spanF;
  const auto f0 = static_cast<uint32_t>(pos);
  points.older[i] = f0;
  points.newer[i] = f0 + 1 == span ? 0 : f0 + 1;
  points.frac[i] = pos - static_cast<float>(f0);
}

// The frames of a chunk: every channel reads its own delayed value, both frames being its own
// history, and stores its input plus feedback in the oldest frame, which the next frame's reads
// no longer need. kChannels is the channel count, or 0 for any.
template <uint32_t kChannels>
void DelayFrames(ModDelayState& state, const ReadPoints& points, float* samples,
                 std::size_t count) {
  const uint32_t channels = kChannels != 0 ? kChannels : state.channels;
  float* const buffer = state.line.buffer;
  const uint32_t length = state.line.length;
  const float wetGain = state.wetGain;
  const float dryGain = state.dryGain;
  const float feedback = state.feedback;
  const VectorKernels* kernels = kChannels == 2 ? ActiveKernels() : nullptr;
  uint32_t w = state.line.position;
  for (std::size_t i = 0; i < count; ++i) {
    if (kernels != nullptr) {
      i = kernels->delayStereo(buffer, length, w, points.older, points.newer, points.frac, samples,
                               i, count, wetGain, dryGain, feedback);
      if (i == count) break;
    }
    const float frac = points.frac[i];
    const float keep = 1.0f - frac;
    const float* older = buffer + points.older[i] * channels;
    const float* newer = buffer + points.newer[i] * channels;
    float* slot = buffer + w;
    float* sample = samples + i * channels;
    for (uint32_t j = 0; j < channels; ++j) {
      const float x = sample[j];
      const float delayed = older[j] * keep + newer[j] * frac;
      // Feedback recirculates the unclamped input, never the output.
      slot[j] = feedback * delayed + x;
      sample[j] = wetGain * delayed + dryGain * x;
    }
    w = w + channels >= length ? 0 : w + channels;
  }
  state.line.position = w;
}

}  // namespace

void InitModDelay(ModDelayState& state, int32_t sampleRate, uint32_t channels, float minDelayMs,
                  float maxDelayMs, float rateHz, float wetGain, float dryGain, float feedback) {
  const double fs = static_cast<double>(sampleRate);
  const double maxFrames = static_cast<double>(maxDelayMs) * fs * 0.001;
  // Truncated, so the sweep may reach up to one frame past the buffer; NaN, negative and short
  // delays give 2 frames. 2^32 frames or more cannot be allocated, whatever the channel count.
  uint64_t bufferFrames = 2;
  if (maxFrames >= 2.0) {
    bufferFrames = maxFrames < 4294967296.0 ? static_cast<uint64_t>(maxFrames) : uint64_t{1} << 32;
  }
  InitDelayLine(state.line, bufferFrames * channels);  // both factors are at most 2^32: no wrap
  InitOscillator(state.oscillator, rateHz, sampleRate);
  state.minDelay = static_cast<float>(static_cast<double>(minDelayMs) * fs * 0.001);
  state.maxDelay = static_cast<float>(maxFrames);
  state.wetGain = wetGain;
  state.dryGain = dryGain;
  state.feedback = feedback;
  state.channels = channels;
}

// The oscillator's value for a frame uses the phase before that frame's advance; one delay
// serves every channel of the frame. A chunk of frames at a time: the oscillator values, the
// read points, then the frames.
void ProcessModDelay(ModDelayState& state, float* samples, int32_t frames) {
  const uint32_t channels = state.channels;
  // Without a buffer the effect is inactive and the audio passes unchanged.
  if (frames <= 0 || (channels != 0 && state.line.buffer == nullptr)) return;
  Oscillator& oscillator = state.oscillator;
  if (channels == 0) {
    for (int32_t frame = 0; frame < frames; ++frame)
      oscillator.phase = AdvancePhase(oscillator.phase, oscillator.increment);
    return;
  }
  const VectorKernels* kernels = ActiveKernels();
  const float sweep = state.maxDelay - state.minDelay;
  const uint32_t span = state.line.length / channels;  // frames in the buffer
  uint32_t wFrame = state.line.position / channels;
  float lfo[kChunkFrames];
  ReadPoints points;
  uint32_t wFrames[kChunkFrames];
  for (auto left = static_cast<std::size_t>(frames); left > 0;) {
    const std::size_t count = std::min(kChunkFrames, left);
    HalfSinePlusOneValues(oscillator, lfo, count);
    for (std::size_t i = 0; i < count; ++i) {
      wFrames[i] = wFrame;
      wFrame = wFrame + 1 == span ? 0 : wFrame + 1;
    }
    // The kernel takes the read points that need at most one wrap.
    std::size_t done = 0;
    if (kernels != nullptr && span < kLargestVectorSpan) {
      done = kernels->readPoints(lfo, wFrames, count, sweep, state.minDelay, span, points.older,
                                 points.newer, points.frac);
    }
    for (std::size_t i = done; i < count; ++i) {
      ReadPointAt(points, i, wFrames[i], lfo[i] * sweep + state.minDelay, span);
    }
    if (channels == 1) {
      DelayFrames<1>(state, points, samples, count);
    } else if (channels == 2) {
      DelayFrames<2>(state, points, samples, count);
    } else {
      DelayFrames<0>(state, points, samples, count);
    }
    samples += count * channels;
    left -= count;
  }
}

void ReleaseModDelay(ModDelayState& state) {
  ReleaseDelayLine(state.line);
}

namespace {

constexpr wavfx_parameter_info kFlanger[] = {
    {"min", "ms", 0.3, 0, 50, 0, "shortest delay of the sweep"},
    {"max", "ms", 5, 0.1, 100, 0, "longest delay of the sweep"},
    {"rate", "Hz", 0.25, 0.01, 20, 0, "sweeps per second"},
    {"wet", "", 0.6, 0, 1, 0, "gain of the delayed signal"},
    {"dry", "", 0.7, 0, 1, 0, "gain of the input"},
    {"feedback", "", 0.3, -0.95, 0.95, 0, "delayed signal fed back into the delay"},
};
constexpr wavfx_parameter_info kChorus[] = {
    {"min", "ms", 10, 0, 50, 0, "shortest delay of the sweep"},
    {"max", "ms", 25, 0.1, 100, 0, "longest delay of the sweep"},
    {"rate", "Hz", 0.3, 0.01, 20, 0, "sweeps per second"},
    {"wet", "", 0.5, 0, 1, 0, "gain of the delayed signal"},
    {"dry", "", 0.7, 0, 1, 0, "gain of the input"},
    {"feedback", "", 0.1, -0.95, 0.95, 0, "delayed signal fed back into the delay"},
};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitModDelay(As<ModDelayState>(state), static_cast<int32_t>(in.sampleRate), in.channels,
               Single(v.values[0]), Single(v.values[1]), Single(v.values[2]), Single(v.values[3]),
               Single(v.values[4]), Single(v.values[5]));
}

bool HasLine(const void* state) {
  return As<ModDelayState>(state).line.buffer != nullptr;
}

void Carry(const void* from, void* to, bool sameBuffers) {
  const auto& old = As<ModDelayState>(from);
  auto& fresh = As<ModDelayState>(to);
  fresh.oscillator.phase = old.oscillator.phase;
  if (sameBuffers) fresh.line.position = old.line.position;
}

// The delay sweeps from min up to max.
bool Check(const StageValues& v, std::string& problem) {
  if (v.values[0] <= v.values[1]) return true;
  problem =
      "min " + FormatNumber(v.values[0]) + " ms is above max " + FormatNumber(v.values[1]) + " ms";
  return false;
}

constexpr FamilyOps kOps = {.stateSize = sizeof(ModDelayState),
                            .init = Init,
                            .process = ProcessAs<ModDelayState, ProcessModDelay>,
                            .release = ReleaseAs<ModDelayState, ReleaseModDelay>,
                            .changesAudio = HasLine,
                            .hasBuffers = HasLine,
                            .carry = Carry,
                            .check = Check};

}  // namespace

const EffectFamily kFlangerFamily = {
    {"flanger", nullptr, 0, "a short swept delay with strong feedback", kFlanger,
     CountOf(kFlanger)},
    nullptr,
    kOps,
};
const EffectFamily kChorusFamily = {
    {"chorus", nullptr, 0, "a longer swept delay with light feedback", kChorus, CountOf(kChorus)},
    nullptr,
    kOps,
};

}  // namespace wavfx
