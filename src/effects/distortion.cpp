#include "effects/distortion.h"

#include <cstddef>

#include "dsp/simd_dispatch.h"

namespace wavfx {

void InitDistortion(DistortionState& state, float drive, uint32_t channels, float outputLevel) {
  state.drive = drive;
  state.outputLevel = outputLevel;
  state.channels = channels;
}

void ProcessDistortion(DistortionState& state, float* samples, int32_t frames) {
  if (frames <= 0 || state.channels == 0) return;
  const float drive = state.drive;
  const float outputLevel = state.outputLevel;
  const std::size_t count = static_cast<std::size_t>(frames) * state.channels;
  const VectorKernels* kernels = ActiveKernels();
  std::size_t i = kernels != nullptr ? kernels->distort(samples, count, drive, outputLevel) : 0;
  for (; i < count; ++i) {
    samples[i] = DistortSample(samples[i], drive, outputLevel);
  }
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"drive", "", 2.5, 0.1, 100, 0, "gain into the clipper"},
    {"level", "", 0.7, 0, 1, 0, "output gain"},
};
constexpr const char* kAliases[] = {"overdrive"};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitDistortion(As<DistortionState>(state), Single(v.values[0]), in.channels, Single(v.values[1]));
}

}  // namespace

const EffectFamily kDistortionFamily = {
    {"distort", kAliases, 1, "overdrive: drive into a cubic soft clip", kParameters,
     CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(DistortionState),
     .init = Init,
     .process = ProcessAs<DistortionState, ProcessDistortion>},
};

}  // namespace wavfx
