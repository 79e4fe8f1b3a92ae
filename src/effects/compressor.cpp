#include "effects/compressor.h"

#include "effects/effect_math.h"
#include "engine/sample_conversion.h"

namespace wavfx {

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

void ProcessCompressor(CompressorState& state, int16_t* samples, int32_t frames) {
  if (frames <= 0) return;
  const uint32_t channels = state.channels;
  const float exponent = 1.0f - 1.0f / state.ratio;
  for (int32_t frame = 0; frame < frames; ++frame, samples += channels) {
    float peak = 0.0f;
    for (uint32_t j = 0; j < channels; ++j) {
      float a = SampleToFloat(samples[j]);
      if (a < 0.0f) a = -a;
      if (a > peak) peak = a;
    }
    // A peak equal to the envelope releases.
    const float c = peak > state.envelope ? state.attackCoeff : state.releaseCoeff;
    state.envelope = (1.0f - c) * peak + c * state.envelope;

    float gain = 1.0f;
    if (state.envelope > state.threshold) {
      const float r = state.envelope / state.threshold;
      gain =
          1.0f / static_cast<float>(Power(static_cast<double>(r), static_cast<double>(exponent)));
    }
    // Unit gain still takes every sample through the conversion pair.
    for (uint32_t j = 0; j < channels; ++j) {
      samples[j] = FloatToSample(SampleToFloat(samples[j]) * gain);
    }
  }
}

}  // namespace wavfx
