#include "effects/gain.h"

#include <cstddef>

#include "dsp/effect_math.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"db", "dB", 0, -120, 60, 0, "gain in decibels"},
};

}  // namespace

void InitGain(GainState& state, double db, uint32_t channels) {
  const wavfx_parameter_info& range = kParameters[0];
  if (!(db >= range.minimum && db <= range.maximum)) db = range.default_value;
  state.gain = static_cast<float>(TenToThe(db / 20.0));
  state.channels = channels;
}

void ProcessGain(GainState& state, float* samples, int32_t frames) {
  if (frames <= 0) return;
  const float gain = state.gain;
  const std::size_t count = static_cast<std::size_t>(frames) * state.channels;
  const VectorKernels* kernels = ActiveKernels();
  for (std::size_t i = kernels != nullptr ? kernels->gain(samples, count, gain) : 0; i < count; ++i)
    samples[i] *= gain;
}

namespace {

void Init(void* state, const StageValues& v, StreamShape in) {
  InitGain(As<GainState>(state), v.values[0], in.channels);
}

bool ChangesAudio(const void* state) {
  return As<GainState>(state).gain != 1.0f;
}

}  // namespace

const EffectFamily kGainFamily = {
    {"gain", nullptr, 0, "a fixed gain in decibels", kParameters, CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(GainState),
     .init = Init,
     .process = ProcessAs<GainState, ProcessGain>,
     .changesAudio = ChangesAudio},
};

}  // namespace wavfx
