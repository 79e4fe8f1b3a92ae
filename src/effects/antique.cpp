#include "effects/antique.h"

#include <cstddef>

#include "dsp/effect_math.h"
#include "dsp/one_pole_step.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {

void InitAntique(AntiqueState& state, uint32_t sampleRate, uint32_t channels, float cutoff,
                 float noiseLevel, int32_t bits, float level) {
  if (static_cast<double>(sampleRate) < 2.0 * static_cast<double>(cutoff)) {
    cutoff = static_cast<float>(static_cast<double>(static_cast<float>(sampleRate)) * 0.45);
  }
  state.coefficient = OnePoleCoefficient(cutoff, sampleRate);
  state.memory0 = 0.0f;
  state.memory1 = 0.0f;
  state.noiseSeed = 22222;
  state.noiseLevel = noiseLevel;
  if (bits < 1) bits = 1;
  if (bits > 16) bits = 16;
  const auto top = static_cast<double>((int32_t{1} << bits) - 1);
  state.half = top * 0.5;
  state.top = top;
  state.step = 2.0 / top;
  state.level = level;
  state.channels = channels;
}

namespace {

// Noise added to the filtered value, floored to one of the quantiser's levels, scaled by the
// level. The noise (the low 31 bits of the generator over 2^31 - 1, mapped to [-1, 1]) and the
// quantiser are computed in double.
float AgeSample(float filtered, uint32_t seed, const AntiqueState& state) {
  const float noise = static_cast<float>(
      static_cast<double>(seed & 0x7FFFFFFFu) * 4.656612875245797e-10 * 2.0 - 1.0);
  const float v = noise * state.noiseLevel + filtered + 1.0f;
  // Clamped before the floor rather than after, which gives the same level: the bounds are
  // whole. A NaN stays NaN.
  double level = static_cast<double>(v) * state.half;
  if (level < 0.0) level = 0.0;
  if (level > state.top) level = state.top;
  if (level == level) level = FloorSmall(level);
  const float w = static_cast<float>(level * state.step - 1.0);
  return w * state.level;
}

uint32_t NextSeed(uint32_t seed) {
  return seed * 1664525u + 1013904223u;
}

}  // namespace

// Stereo goes through one vector loop of filter, noise and quantiser. Otherwise the filter runs
// on from sample to sample, and the noise and the quantiser then take the block in vectors.
void ProcessAntique(AntiqueState& state, float* samples, int32_t frames) {
  const uint32_t channels = state.channels;
  if (frames <= 0 || channels == 0) return;
  const VectorKernels* kernels = ActiveKernels();
  if (kernels != nullptr && channels == 2) {
    float memories[2] = {state.memory0, state.memory1};
    const std::size_t done = kernels->antiqueFloats(samples, static_cast<std::size_t>(frames),
                                                    state.coefficient, memories, state.noiseSeed,
                                                    state.noiseLevel, state.half, state.level);
    state.memory0 = memories[0];
    state.memory1 = memories[1];
    samples += 2 * done;
    frames -= static_cast<int32_t>(done);
  }
  const std::size_t count = static_cast<std::size_t>(frames) * channels;
  const float a = state.coefficient;
  float memory0 = state.memory0;
  float memory1 = state.memory1;
  for (std::size_t i = 0; i < count; i += channels) {
    samples[i] = OnePoleStep(samples[i], memory0, a);
    for (std::size_t j = i + 1; j < i + channels; ++j) {
      samples[j] = OnePoleStep(samples[j], memory1, a);
    }
  }
  FlushSubnormalMemory(memory0);
  FlushSubnormalMemory(memory1);
  state.memory0 = memory0;
  state.memory1 = memory1;
  uint32_t seed = state.noiseSeed;
  std::size_t i = kernels != nullptr ? kernels->age(samples, count, seed, state.noiseLevel,
                                                    state.half, state.level)
                                     : 0;
  for (; i < count; ++i) {
    seed = NextSeed(seed);
    samples[i] = AgeSample(samples[i], seed, state);
  }
  state.noiseSeed = seed;
}

bool ProcessAntiqueSamples(AntiqueState& state, int16_t* samples, int32_t frames) {
  const VectorKernels* kernels = ActiveKernels();
  if (kernels == nullptr || state.channels != 2 || frames <= 0) return false;
  float memories[2] = {state.memory0, state.memory1};
  const std::size_t done =
      kernels->antiqueSamples(samples, static_cast<std::size_t>(frames), state.coefficient,
                              memories, state.noiseSeed, state.noiseLevel, state.half, state.level);
  state.memory0 = memories[0];
  state.memory1 = memories[1];
  const auto left = static_cast<int32_t>(static_cast<std::size_t>(frames) - done);
  int16_t* rest = samples + 2 * done;
  float values[kSampleVectorFrames * 2];
  SamplesToFloats(rest, values, 2 * static_cast<std::size_t>(left));
  ProcessAntique(state, values, left);
  FloatsToSamples(values, rest, 2 * static_cast<std::size_t>(left));
  FlushSubnormalMemory(state.memory0);
  FlushSubnormalMemory(state.memory1);
  return true;
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"cutoff", "Hz", 4000, 10, 100000, 0, "lowpass corner; 0.45 of the rate below twice this"},
    {"noise", "", 0.002, 0, 0.1, 0, "level of the added white noise, of full scale"},
    {"bits", "", 8, 1, 16, 1, "grain: the quantiser has 2^bits levels"},
    {"level", "", 0.9, 0, 1, 0, "output gain"},
};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitAntique(As<AntiqueState>(state), in.sampleRate, in.channels, Single(v.values[0]),
              Single(v.values[1]), static_cast<int32_t>(v.values[2]), Single(v.values[3]));
}

void Carry(const void* from, void* to, bool) {
  const auto& old = As<AntiqueState>(from);
  auto& fresh = As<AntiqueState>(to);
  fresh.memory0 = old.memory0;
  fresh.memory1 = old.memory1;
  fresh.noiseSeed = old.noiseSeed;
}

}  // namespace

const EffectFamily kAntiqueFamily = {
    {"antique", nullptr, 0, "old record: band-limited, faint noise, coarse grain", kParameters,
     CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(AntiqueState),
     .init = Init,
     .process = ProcessAs<AntiqueState, ProcessAntique>,
     .carry = Carry,
     .processSamples = SamplesAs<AntiqueState, ProcessAntiqueSamples>},
};

}  // namespace wavfx
