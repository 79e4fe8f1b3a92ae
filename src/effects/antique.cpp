#include "effects/antique.h"

#include <algorithm>
#include <cstddef>

#include "dsp/effect_math.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"
#include "effects/one_pole.h"

namespace wavfx {

void InitAntique(AntiqueState& state, uint32_t sampleRate) {
  // Below 8 kHz the cutoff follows the rate; from 8 kHz on it is a fixed 4 kHz.
  float cutoff = 4000.0f;
  if (sampleRate < 8000) {
    cutoff = static_cast<float>(static_cast<double>(static_cast<float>(sampleRate)) * 0.45);
  }
  state.coefficient = OnePoleCoefficient(cutoff, sampleRate);
  state.memory0 = 0.0f;
  state.memory1 = 0.0f;
  state.noiseSeed = 22222;
  state.noiseLevel = 0.002f;
}

namespace {

// The most samples worked on at a time by the vector path.
constexpr std::size_t kChunkSamples = 512;

// Noise added to the filtered value, floored to one of 256 levels, scaled by 0.9. The noise
// (the low 31 bits of the generator over 2^31 - 1, mapped to [-1, 1]) and the quantiser are
// computed in double.
int16_t Age(float filtered, uint32_t seed, float noiseLevel) {
  const float noise = static_cast<float>(
      static_cast<double>(seed & 0x7FFFFFFFu) * 4.656612875245797e-10 * 2.0 - 1.0);
  const float v = noise * noiseLevel + filtered + 1.0f;
  // Clamped before the floor rather than after, which gives the same level: the bounds are
  // whole. A NaN stays NaN.
  double level = static_cast<double>(v) * 127.5;
  if (level < 0.0) level = 0.0;
  if (level > 255.0) level = 255.0;
  if (level == level) level = FloorSmall(level);
  const float w = static_cast<float>(level * 0.00784313725490196 - 1.0);
  return FloatToSample(w * 0.9f);
}

uint32_t NextSeed(uint32_t seed) {
  return seed * 1664525u + 1013904223u;
}

// The reference: one sample at a time.
void ProcessScalar(AntiqueState& state, int16_t* samples, int32_t frames, uint32_t channels) {
  const float a = state.coefficient;
  uint32_t seed = state.noiseSeed;
  const auto age = [&](int16_t& sample, float& memory) {
    const float y = OnePoleStep(SampleToFloat(sample), memory, a);
    seed = NextSeed(seed);
    sample = Age(y, seed, state.noiseLevel);
  };
  int16_t* sample = samples;
  for (int32_t frame = 0; frame < frames; ++frame) {
    age(*sample++, state.memory0);
    for (uint32_t channel = 1; channel < channels; ++channel) {
      age(*sample++, state.memory1);
    }
  }
  state.noiseSeed = seed;
}

// A chunk at a time: the filter, which runs on from sample to sample, then the rest of every
// sample's steps in vectors.
void ProcessVectors(const VectorKernels& kernels, AntiqueState& state, int16_t* samples,
                    int32_t frames, uint32_t channels) {
  const float a = state.coefficient;
  const std::size_t chunkFrames = kChunkSamples / channels;
  float filtered[kChunkSamples];
  uint32_t seed = state.noiseSeed;
  // The memories are locals, which the stores to `filtered` cannot alias.
  float memory0 = state.memory0;
  float memory1 = state.memory1;
  for (auto left = static_cast<std::size_t>(frames); left > 0;) {
    const std::size_t count = std::min(chunkFrames, left) * channels;
    for (std::size_t i = 0; i < count; i += channels) {
      filtered[i] = OnePoleStep(SampleToFloat(samples[i]), memory0, a);
      for (std::size_t j = i + 1; j < i + channels; ++j) {
        filtered[j] = OnePoleStep(SampleToFloat(samples[j]), memory1, a);
      }
    }
    std::size_t i = kernels.age(filtered, seed, samples, count, state.noiseLevel);
    for (; i < count; ++i) {
      seed = NextSeed(seed);
      samples[i] = Age(filtered[i], seed, state.noiseLevel);
    }
    samples += count;
    left -= count / channels;
  }
  state.memory0 = memory0;
  state.memory1 = memory1;
  state.noiseSeed = seed;
}

}  // namespace

void ProcessAntique(AntiqueState& state, int16_t* samples, int32_t frames, uint32_t channels) {
  if (frames <= 0 || channels == 0) return;
  const VectorKernels* kernels = ActiveKernels();
  if (kernels != nullptr && channels <= kChunkSamples) {
    ProcessVectors(*kernels, state, samples, frames, channels);
  } else {
    ProcessScalar(state, samples, frames, channels);
  }
  FlushSubnormalMemory(state.memory0);
  FlushSubnormalMemory(state.memory1);
}

}  // namespace wavfx
