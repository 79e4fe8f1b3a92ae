#include "effects/antique.h"

#include <cmath>

#include "effects/one_pole.h"
#include "engine/sample_conversion.h"

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

void ProcessAntique(AntiqueState& state, int16_t* samples, int32_t frames, uint32_t channels) {
  if (frames <= 0 || channels == 0) return;
  const float a = state.coefficient;
  const float noiseLevel = state.noiseLevel;
  uint32_t seed = state.noiseSeed;
  // Lowpass, add noise, floor to one of 256 levels, scale by 0.9. The noise (the low 31 bits
  // of the generator over 2^31 - 1, mapped to [-1, 1]) and the quantiser are computed in double.
  const auto age = [&](int16_t& sample, float& memory) {
    const float y = OnePoleStep(SampleToFloat(sample), memory, a);
    seed = seed * 1664525u + 1013904223u;
    const float noise = static_cast<float>(
        static_cast<double>(seed & 0x7FFFFFFFu) * 4.656612875245797e-10 * 2.0 - 1.0);
    const float v = noise * noiseLevel + y + 1.0f;
    double level = std::floor(static_cast<double>(v) * 127.5);
    if (level < 0.0) level = 0.0;
    if (level > 255.0) level = 255.0;
    const float w = static_cast<float>(level * 0.00784313725490196 - 1.0);
    sample = FloatToSample(w * 0.9f);
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

}  // namespace wavfx
