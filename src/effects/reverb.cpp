#include "effects/reverb.h"

#include <algorithm>
#include <cstddef>

#include "dsp/sample_buffer.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

// Comb delays in samples at 44100 Hz, in channel 0's chain order.
constexpr uint32_t kBaseLengths[4] = {1493, 1733, 1999, 2311};

// scale * base truncated, at least 1. The largest positive rate gives about 1.1e8, so the
// conversion is in range; a negative scale (rates of 2^31 and up) gives 1.
uint32_t CombLength(double scale, uint32_t base) {
  const double length = scale * static_cast<double>(base);
  return length >= 1.0 ? static_cast<uint32_t>(length) : 1u;
}

}  // namespace

bool InitCombFilter(CombFilter& comb, uint32_t length) {
  comb.buffer = AllocateSamples(length);
  comb.length = comb.buffer != nullptr ? length : 0;
  comb.position = 0;
  return comb.buffer != nullptr;
}

float RunCombFilter(CombFilter& comb, float input, float feedback) {
  if (comb.buffer == nullptr) return input;  // an empty comb passes its input through
  float& slot = comb.buffer[comb.position];
  const float old = slot;
  slot = old * feedback + input;
  if (++comb.position == comb.length) comb.position = 0;
  return old;
}

void ReleaseCombFilter(CombFilter& comb) {
  FreeSamples(comb.buffer);
  comb.length = 0;
  comb.position = 0;
}

void InitReverb(ReverbState& state, int32_t sampleRate, uint32_t channels) {
  const double scale = static_cast<double>(sampleRate) * 2.2675736961451248e-05;  // rate / 44100
  for (int i = 0; i < 4; ++i) {
    state.firstCombs[i] = CombFilter{};
    state.secondCombs[i] = CombFilter{};
  }
  // Stereo's channel 1 runs the same delays rotated by one, so the channels decorrelate.
  bool allocated = true;
  for (int i = 0; i < 4 && allocated; ++i) {
    allocated = InitCombFilter(state.firstCombs[i], CombLength(scale, kBaseLengths[i]));
  }
  if (channels == 2) {
    for (int i = 0; i < 4 && allocated; ++i) {
      allocated =
          InitCombFilter(state.secondCombs[i], CombLength(scale, kBaseLengths[(i + 1) % 4]));
    }
  }
  // Without all its combs the effect stays inactive and passes the audio through.
  if (!allocated) ReleaseReverb(state);
  state.channels = channels;
  state.wetGain = 0.42f;
  state.dryGain = 0.7f;
  // The feedback belongs to the chain position, not to the delay.
  state.feedback[0] = 0.77f;
  state.feedback[1] = 0.74f;
  state.feedback[2] = 0.72f;
  state.feedback[3] = 0.7f;
}

namespace {

// The most frames worked on at a time by the vector path.
constexpr std::size_t kChunkFrames = 256;

// Runs `count` consecutive values of one channel through a comb, in place. The slots a stretch
// up to the buffer's end meets are distinct, so it is one run for the vector kernel; the next
// stretch starts over at the buffer's start, reading what the earlier ones wrote.
void RunComb(const VectorKernels& kernels, CombFilter& comb, float* values, std::size_t count,
             float feedback) {
  if (comb.buffer == nullptr) return;  // an empty comb passes its input through
  while (count > 0) {
    const std::size_t run = std::min<std::size_t>(count, comb.length - comb.position);
    kernels.comb(values, comb.buffer + comb.position, run, feedback);
    values += run;
    count -= run;
    comb.position += static_cast<uint32_t>(run);
    if (comb.position == comb.length) comb.position = 0;
  }
}

// Each channel's chain depends on its own samples only, and a comb's output on its input alone,
// so a chunk goes through the first comb, then the second, and so on, one channel at a time.
void ProcessVectors(const VectorKernels& kernels, ReverbState& state, int16_t* samples,
                    int32_t frames) {
  const uint32_t channels = state.channels;
  float dry[kChunkFrames];
  float wet[kChunkFrames];
  float mixed[2 * kChunkFrames];
  for (auto left = static_cast<std::size_t>(frames); left > 0;) {
    const std::size_t count = std::min(kChunkFrames, left);
    for (uint32_t channel = 0; channel < channels; ++channel) {
      CombFilter* chain = channel == 0 ? state.firstCombs : state.secondCombs;
      for (std::size_t i = 0; i < count; ++i)
        wet[i] = dry[i] = SampleToFloat(samples[i * channels + channel]);
      for (int i = 0; i < 4; ++i)
        RunComb(kernels, chain[i], wet, count, state.feedback[i]);
      for (std::size_t i = 0; i < count; ++i)
        mixed[i * channels + channel] = state.wetGain * wet[i] + state.dryGain * dry[i];
    }
    kernels.toSamples(mixed, samples, count * channels);
    samples += count * channels;
    left -= count;
  }
}

}  // namespace

void ProcessReverb(ReverbState& state, int16_t* samples, int32_t frames) {
  if (state.firstCombs[0].buffer == nullptr) return;  // inactive: untouched pass-through
  const VectorKernels* kernels = ActiveKernels();
  if (kernels != nullptr && frames > 0 && (state.channels == 1 || state.channels == 2)) {
    ProcessVectors(*kernels, state, samples, frames);
    return;
  }
  for (int32_t frame = 0; frame < frames; ++frame) {
    for (uint32_t channel = 0; channel < state.channels; ++channel, ++samples) {
      // Beyond stereo, channels 1 and up meet only the empty second set.
      CombFilter* chain = channel == 0 ? state.firstCombs : state.secondCombs;
      const float x = SampleToFloat(*samples);
      float wet = x;
      for (int i = 0; i < 4; ++i) {
        wet = RunCombFilter(chain[i], wet, state.feedback[i]);
      }
      *samples = FloatToSample(state.wetGain * wet + state.dryGain * x);
    }
  }
}

void ReleaseReverb(ReverbState& state) {
  // The second set is empty unless the stream is stereo; releasing an empty comb does nothing.
  for (int i = 0; i < 4; ++i) {
    ReleaseCombFilter(state.firstCombs[i]);
    ReleaseCombFilter(state.secondCombs[i]);
  }
}

}  // namespace wavfx
