#include "effects/compressor.h"

#include <algorithm>
#include <cfloat>
#include <cstddef>

#include "dsp/effect_math.h"
#include "dsp/frame_gains.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

// The most frames worked on at a time.
constexpr std::size_t kChunkFrames = 256;

}  // namespace

void InitCompressor(CompressorState& state, int32_t sampleRate, float thresholdDb, float ratio,
                    float attackMs, float releaseMs, uint32_t channels) {
  state.envelope = 0.0f;
  state.threshold = static_cast<float>(Power(10.0, static_cast<double>(thresholdDb) * 0.05));
  state.ratio = ratio;
  // Per-frame decay factors of time constants in milliseconds. A rate of 0 gives exp(-inf) = 0:
  // the envelope then equals each frame's peak.
  const double fs = static_cast<double>(sampleRate);
  state.attackCoeff =
      static_cast<float>(Exponential(-1000.0 / (static_cast<double>(attackMs) * fs)));
  state.releaseCoeff =
      static_cast<float>(Exponential(-1000.0 / (static_cast<double>(releaseMs) * fs)));
  state.channels = channels;
}

// A chunk of frames at a time: the envelope frame by frame, then the gains, which depend on the
// envelope alone, 1 / ratio^(1 - 1/ratio) of the ratio of the envelope to the threshold, then the
// samples.
void ProcessCompressor(CompressorState& state, float* samples, int32_t frames) {
  if (frames <= 0) return;
  const std::size_t channels = state.channels;
  const float exponent = 1.0f - 1.0f / state.ratio;
  const float attack = state.attackCoeff;
  const float release = state.releaseCoeff;
  const float attackGain = 1.0f - attack;
  const float releaseGain = 1.0f - release;
  const VectorKernels* kernels = ActiveKernels();
  float envelope = state.envelope;
  float gains[kChunkFrames];
  for (auto left = static_cast<std::size_t>(frames); left > 0;) {
    const std::size_t count = std::min(kChunkFrames, left);
    const float* sample = samples;
    for (std::size_t frame = 0; frame < count; ++frame) {
      float peak = 0.0f;
      for (std::size_t j = 0; j < channels; ++j, ++sample) {
        float a = *sample;
        if (a < 0.0f) a = -a;
        if (a > peak) peak = a;
      }
      // A peak equal to the envelope releases. Both steps are taken, so that the next one does
      // not wait for the comparison.
      const float attacked = attackGain * peak + attack * envelope;
      const float released = releaseGain * peak + release * envelope;
      envelope = peak > envelope ? attacked : released;
      gains[frame] = envelope;
    }
    std::size_t frame =
        kernels != nullptr ? kernels->compressorGains(gains, count, state.threshold, exponent) : 0;
    for (; frame < count; ++frame) {
      const float level = gains[frame];
      gains[frame] =
          level > state.threshold ? 1.0f / PowerOfRatio(level / state.threshold, exponent) : 1.0f;
    }
    ApplyFrameGains(samples, gains, count, channels);
    samples += count * channels;
    left -= count;
  }
  // In silence the envelope decays into subnormal floats, where x86 arithmetic is slow, and may
  // settle there for good. Such an envelope is set to 0: no output of 16-bit input can tell them
  // apart. A frame with a nonzero peak, of at least 2^-15, sets the envelope to at least
  // (1 - c) 2^-15 >= 2^-39 (c is a float below
  // 1, or 1 and then the envelope never changes), beside which c times a subnormal vanishes in
  // the rounding; a silent frame gives 0 either way; and a subnormal envelope is below the
  // threshold.
  if (envelope < FLT_MIN) envelope = 0.0f;
  state.envelope = envelope;
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"threshold", "dB", -12, -60, 0, 0, "level above which the gain is reduced"},
    {"ratio", "", 4, 1, 20, 0, "input level change per unit of output change above threshold"},
    {"attack", "ms", 10, 0.1, 1000, 0, "time constant of a rising level"},
    {"release", "ms", 100, 1, 5000, 0, "time constant of a falling level"},
};
constexpr const char* kAliases[] = {"compressor"};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitCompressor(As<CompressorState>(state), static_cast<int32_t>(in.sampleRate),
                 Single(v.values[0]), Single(v.values[1]), Single(v.values[2]), Single(v.values[3]),
                 in.channels);
}

void Carry(const void* from, void* to, bool) {
  As<CompressorState>(to).envelope = As<CompressorState>(from).envelope;
}

}  // namespace

const EffectFamily kCompressorFamily = {
    {"compress", kAliases, 1, "peak compressor, one gain for all channels", kParameters,
     CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(CompressorState),
     .init = Init,
     .process = ProcessAs<CompressorState, ProcessCompressor>,
     .carry = Carry},
};

}  // namespace wavfx
