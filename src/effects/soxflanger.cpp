#include "effects/soxflanger.h"

#include <algorithm>
#include <cmath>

#include "dsp/sample_buffer.h"
#include "dsp/sox_wave.h"

namespace wavfx {
namespace {

constexpr const char* kShapes[] = {"sine", "triangle"};
constexpr const char* kInterpolations[] = {"linear", "quadratic"};
constexpr ParameterSyntax kSyntax[] = {{}, {}, {}, {}, {}, {kShapes, 2}, {}, {kInterpolations, 2}};
constexpr wavfx_parameter_info kParameters[] = {
    {"delay", "ms", 0, 0, 30, 0, "base delay"},
    {"depth", "ms", 2, 0, 10, 0, "swept delay added to the base"},
    {"regen", "%", 0, -95, 95, 0, "delayed signal fed back"},
    {"width", "%", 71, 0, 100, 0, "delayed signal mixed with the input"},
    {"speed", "Hz", 0.5, 0.1, 10, 0, "sweeps per second"},
    {"shape", "", 0, 0, 1, 1, "swept wave: sine or triangle"},
    {"phase", "%", 25, 0, 100, 0, "sweep shift from one channel to the next"},
    {"interp", "", 0, 0, 1, 1, "delay interpolation: linear or quadratic"},
};

// A whole, non-negative double below 2^32 as a count; anything else as 0.
uint32_t Count(double value) {
  return value >= 0.0 && value < 4294967296.0 ? static_cast<uint32_t>(value) : 0;
}

void Init(void* state, const StageValues& v, StreamShape in) {
  auto& s = As<SoxFlangerState>(state);
  const double rate = in.sampleRate;
  const double delay = v.values[0] / 1000;
  const double depth = v.values[1] / 1000;
  const double width = v.values[3] / 100;
  s.feedback = v.values[2] / 100;
  s.inGain = 1 / (1 + width);
  s.delayGain = width / (1 + width) * (1 - std::fabs(s.feedback));
  s.quadratic = v.values[7] != 0.0;
  s.channels = in.channels;
  s.length = Count((delay + depth) * rate + 0.5) + 2;
  s.lfoLength = Count(rate / v.values[4]);
  if (in.channels == 0 || in.channels > kSoxFlangerChannels || s.lfoLength == 0) return;
  s.memory = AllocateSamples(uint64_t{s.length} * in.channels + s.lfoLength);
  if (s.memory == nullptr || ThreadSourceIsMeasuring()) return;
  float* lfo = s.memory + uint64_t{s.length} * in.channels;
  const double low = std::floor(delay * rate + 0.5);
  const double high = s.length - 2.0;
  const uint32_t offset = SoxThreeQuarterStart(s.lfoLength);
  for (uint32_t t = 0; t < s.lfoLength; ++t) {
    const double w =
        SoxWave(v.values[5] != 0.0, static_cast<uint32_t>((uint64_t{t} + offset) % s.lfoLength),
                s.lfoLength);
    lfo[t] = static_cast<float>(w * (high - low) + low);
  }
  for (uint32_t c = 0; c < in.channels; ++c)
    s.shift[c] = Count(static_cast<double>(uint64_t{c} * s.lfoLength) * (v.values[6] / 100) + 0.5);
}

void ProcessSoxFlanger(SoxFlangerState& s, float* samples, int32_t frames) {
  if (s.memory == nullptr) return;
  const float* lfo = s.memory + uint64_t{s.length} * s.channels;
  const uint32_t length = s.length;
  for (int32_t frame = 0; frame < frames; ++frame) {
    s.position = s.position == 0 ? length - 1 : s.position - 1;
    for (uint32_t c = 0; c < s.channels; ++c) {
      float* history = s.memory + uint64_t{c} * length;
      const double sweep = lfo[(uint64_t{s.lfoPosition} + s.shift[c]) % s.lfoLength];
      const double whole = std::floor(sweep);
      const double frac = sweep - whole;
      const uint64_t at = s.position + static_cast<uint64_t>(whole);
      const double in = *samples;
      history[s.position] = static_cast<float>(in + s.last[c] * s.feedback);
      double d0 = history[at % length];
      double d1 = history[(at + 1) % length];
      double delayed = 0.0;
      if (!s.quadratic) {
        delayed = d0 + (d1 - d0) * frac;
      } else {
        const double d2 = history[(at + 2) % length] - d0;
        d1 -= d0;
        const double a = d2 * 0.5 - d1;
        const double b = d1 * 2 - d2 * 0.5;
        delayed = d0 + (a * frac + b) * frac;
      }
      s.last[c] = delayed;
      *samples++ = static_cast<float>(in * s.inGain + delayed * s.delayGain);
    }
    s.lfoPosition = s.lfoPosition + 1 == s.lfoLength ? 0 : s.lfoPosition + 1;
  }
}

void ReleaseSoxFlanger(SoxFlangerState& s) {
  FreeSamples(s.memory);
}

bool HasMemory(const void* state) {
  return As<SoxFlangerState>(state).memory != nullptr;
}

void Carry(const void* from, void* to, bool sameBuffers) {
  const auto& old = As<SoxFlangerState>(from);
  auto& fresh = As<SoxFlangerState>(to);
  if (fresh.lfoLength != 0) fresh.lfoPosition = old.lfoPosition % fresh.lfoLength;
  if (!sameBuffers || old.length != fresh.length) return;
  fresh.position = old.position;
  std::copy(std::begin(old.last), std::end(old.last), fresh.last);
}

bool Fits(const StageValues&, StreamShape in, std::string& problem) {
  if (in.channels <= kSoxFlangerChannels) return true;
  problem = "takes at most 4 channels, as SoX's flanger (not " + std::to_string(in.channels) + ")";
  return false;
}

}  // namespace

const EffectFamily kSoxFlangerFamily = {
    {"soxflanger", nullptr, 0,
     "SoX's flanger: a swept delay with regeneration, channels swept out of phase", kParameters,
     CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(SoxFlangerState),
     .init = Init,
     .process = ProcessAs<SoxFlangerState, ProcessSoxFlanger>,
     .release = ReleaseAs<SoxFlangerState, ReleaseSoxFlanger>,
     .changesAudio = HasMemory,
     .hasBuffers = HasMemory,
     .carry = Carry,
     .fits = Fits},
};

}  // namespace wavfx
