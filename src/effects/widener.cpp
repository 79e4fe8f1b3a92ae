#include "effects/widener.h"

#include <cstddef>

#include "dsp/simd_dispatch.h"

namespace wavfx {

void InitWidener(WidenerState& state, float width, uint32_t channels) {
  state.width = width;
  state.channels = channels;
}

void ProcessWidener(WidenerState& state, float* samples, int32_t frames) {
  if (state.channels != 2 || frames <= 0) return;
  const float width = state.width;
  const auto count = static_cast<std::size_t>(frames);
  const VectorKernels* kernels = ActiveKernels();
  std::size_t frame = kernels != nullptr ? kernels->widen(samples, count, width) : 0;
  for (; frame < count; ++frame) {
    WidenFrame(samples + 2 * frame, width);
  }
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"width", "", 1.5, 0, 4, 0, "gain of the side signal; 1 leaves the image as it is"},
};
constexpr const char* kAliases[] = {"stereo"};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitWidener(As<WidenerState>(state), Single(v.values[0]), in.channels);
}

bool IsStereo(const void* state) {
  return As<WidenerState>(state).channels == 2;
}

}  // namespace

const EffectFamily kWidenerFamily = {
    {"widen", kAliases, 1, "stereo widener (stereo streams only)", kParameters,
     CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(WidenerState),
     .init = Init,
     .process = ProcessAs<WidenerState, ProcessWidener>,
     .changesAudio = IsStereo},
};

}  // namespace wavfx
