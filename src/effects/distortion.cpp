#include "effects/distortion.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>

#include "dsp/simd_dispatch.h"

namespace wavfx {

void InitDistortion(DistortionState& state, float drive, uint32_t channels, float outputLevel) {
  state.drive = drive;
  state.outputLevel = outputLevel;
  state.channels = channels;
}

void InitSoxDistortion(DistortionState& state, double drive, double colour, double level,
                       uint32_t channels) {
  state.sox = true;
  state.soxDrive = drive;
  state.colour = colour;
  state.soxLevel = level;
  state.channels = channels;
}

namespace {

// level (x / 2 + 3/4 b), b the DC blocker b[n] = c[n] - c[n-1] + 0.995 b[n-1] after the clip
// c = clip(drive x + colour) (-2/3 below -1, 2/3 above 1, else v - v^3 / 3).
void ProcessSox(DistortionState& state, float* samples, std::size_t frames) {
  // Channels past the record's memories (refused by Fits) are left alone.
  const uint32_t channels = state.channels;
  const uint32_t held = std::min(channels, kSoxDistortionChannels);
  for (std::size_t frame = 0; frame < frames; ++frame, samples += channels) {
    for (uint32_t c = 0; c < held; ++c) {
      const double x = samples[c];
      const double v = x * state.soxDrive + state.colour;
      const double clipped =
          v < -1.0 ? -2.0 / 3.0 : v > 1.0 ? 2.0 / 3.0 : v - v * v * v * (1.0 / 3.0);
      state.lastOut[c] = clipped - state.lastIn[c] + 0.995 * state.lastOut[c];
      state.lastIn[c] = clipped;
      samples[c] = static_cast<float>((x * 0.5 + state.lastOut[c] * 0.75) * state.soxLevel);
    }
  }
}

}  // namespace

void ProcessDistortion(DistortionState& state, float* samples, int32_t frames) {
  if (frames <= 0 || state.channels == 0) return;
  if (state.sox) return ProcessSox(state, samples, static_cast<std::size_t>(frames));
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
    {"model", "", 0, 0, 1, 1, "cubic (the soft clip alone) or sox (colour, DC blocker, dry half)"},
    {"colour", "", 0, 0, 0.5, 0, "offset added before the clipper (model sox)"},
};
constexpr const char* kModels[] = {"cubic", "sox"};
constexpr ParameterSyntax kSyntax[] = {{}, {}, {kModels, std::size(kModels), false, false}, {}};
constexpr const char* kAliases[] = {"overdrive"};

void Init(void* state, const StageValues& v, StreamShape in) {
  if (v.values[2] == 1.0) {
    return InitSoxDistortion(As<DistortionState>(state), v.values[0], v.values[3], v.values[1],
                             in.channels);
  }
  InitDistortion(As<DistortionState>(state), Single(v.values[0]), in.channels, Single(v.values[1]));
}

bool Check(const StageValues& v, std::string& problem) {
  if (v.values[2] == 0.0 && v.values[3] != 0.0) {
    problem = "colour needs model=sox";
    return false;
  }
  return true;
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  if (v.values[2] == 1.0 && in.channels > kSoxDistortionChannels) {
    problem = "model sox takes at most " + std::to_string(kSoxDistortionChannels) + " channels";
    return false;
  }
  return true;
}

void Carry(const void* from, void* to, bool) {
  const auto& old = As<DistortionState>(from);
  auto& next = As<DistortionState>(to);
  std::copy(std::begin(old.lastIn), std::end(old.lastIn), std::begin(next.lastIn));
  std::copy(std::begin(old.lastOut), std::end(old.lastOut), std::begin(next.lastOut));
}

}  // namespace

const EffectFamily kDistortionFamily = {
    {"distort", kAliases, 1, "overdrive: drive into a cubic soft clip", kParameters,
     CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(DistortionState),
     .init = Init,
     .process = ProcessAs<DistortionState, ProcessDistortion>,
     .carry = Carry,
     .check = Check,
     .fits = Fits},
};

}  // namespace wavfx
