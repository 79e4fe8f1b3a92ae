#include "effects/freeverb.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iterator>

#include "dsp/effect_math.h"
#include "dsp/sample_buffer.h"

namespace wavfx {
namespace {

// Delays in samples at 44100 Hz: the combs, then the all-passes (run from the last to the
// first); a spread lengthens and shortens them by turns by 12 samples times the depth.
constexpr double kLengths[kFreeverbLines] = {1116, 1188, 1277, 1356, 1422, 1491,
                                             1557, 1617, 225,  341,  441,  556};
constexpr double kSpreadSamples = 12;

// SoX's reverberance curve: feedback = 1 - exp((reverberance - b) / (a b)), 0.3 at 0 % and 0.98
// at 100 %, with a = -1 / ln 0.7 and b = 100 / (a ln 0.02 + 1).
constexpr double kCurveA = 0x1.66dec3df20aebp+1;
constexpr double kCurveB = -0x1.4106b3fce35d9p+3;

constexpr std::size_t kChunkFrames = 256;

enum : std::size_t {
  kReverberance,
  kDamping,
  kRoom,
  kDepth,
  kPredelay,
  kWet,
  kWetOnly,
  kDry,
  kFreeze
};

// Lengths beyond this cannot be allocated anyway.
constexpr double kLongest = static_cast<double>(kMaxSamplesPerBuffer);

// Samples rounded to the nearest whole length, at least 1.
uint32_t LineLength(double samples) {
  const double rounded = samples + 0.5;
  return rounded >= 1.0 ? static_cast<uint32_t>(std::min(rounded, kLongest)) : 1;
}

// SoX's lengths: the combs scaled by the room, the all-passes not, each rounded to the nearest.
void InitSpread(FreeverbSpread& spread, double rate, double room, double offset) {
  const double r = rate * (1.0 / 44100.0);
  // At most 8 + 12 * 2^28 floats: the starts fit 32 bits; AllocateSamples refuses that many.
  uint64_t at = kFreeverbCombs;
  for (int i = 0; i < kFreeverbLines; ++i, offset = -offset) {
    const double samples = kLengths[i] + kSpreadSamples * offset;
    spread.length[i] = LineLength(i < kFreeverbCombs ? room * r * samples : r * samples);
    spread.start[i] = static_cast<uint32_t>(at);
    spread.position[i] = 0;
    at += spread.length[i];
  }
  spread.size = at;
}

// One comb's step: out = the slot's old value, memory = out + (memory - out) d, the slot takes
// x + memory f. In silence the combs would settle on subnormal values, where x86 arithmetic is
// some fifty times slower, for good: a value below 2^-126 is stored as 0 instead (a change far
// below any output's resolution), and once the outputs are 0 the memory, multiplied by d <= 0.5,
// reaches 0 too. The test is on the magnitude, so that its branch does not follow the sign.
inline float CombStep(float& slot, float x, float& memory, float feedback, float damping) {
  const float out = slot;
  memory = out + (memory - out) * damping;
  const float stored = x + memory * feedback;
  slot = std::fabs(stored) < FLT_MIN ? 0.0f : stored;
  return out;
}

// The eight combs over a chunk, side by side so that their memories' recurrences overlap, in
// stretches where no comb reaches its buffer's end; `sum` takes their outputs added from the
// last comb to the first (onto 0, as SoX's).
void RunCombs(float* block, const FreeverbSpread& spread, const float* x, float* sum,
              std::size_t count, float feedback, float damping) {
  uint32_t at[kFreeverbCombs];
  std::copy(spread.position, spread.position + kFreeverbCombs, at);
  float m[kFreeverbCombs];
  std::copy(block, block + kFreeverbCombs, m);
  for (std::size_t done = 0; done < count;) {
    std::size_t run = count - done;
    float* c[kFreeverbCombs];
    for (int k = 0; k < kFreeverbCombs; ++k) {
      run = std::min<std::size_t>(run, spread.length[k] - at[k]);
      c[k] = block + spread.start[k] + at[k];
    }
    for (std::size_t i = 0; i < run; ++i) {
      const float v = x[done + i];
      float total = 0.0f + CombStep(c[7][i], v, m[7], feedback, damping);
      total += CombStep(c[6][i], v, m[6], feedback, damping);
      total += CombStep(c[5][i], v, m[5], feedback, damping);
      total += CombStep(c[4][i], v, m[4], feedback, damping);
      total += CombStep(c[3][i], v, m[3], feedback, damping);
      total += CombStep(c[2][i], v, m[2], feedback, damping);
      total += CombStep(c[1][i], v, m[1], feedback, damping);
      total += CombStep(c[0][i], v, m[0], feedback, damping);
      sum[done + i] = total;
    }
    for (int k = 0; k < kFreeverbCombs; ++k) {
      at[k] += static_cast<uint32_t>(run);
      if (at[k] == spread.length[k]) at[k] = 0;
    }
    done += run;
  }
  std::copy(m, m + kFreeverbCombs, block);
}

// One all-pass over a chunk, in place: out = old - v, the slot takes v + old / 2.
void RunAllpass(float* slots, uint32_t length, uint32_t at, float* values, std::size_t count) {
  for (std::size_t done = 0; done < count;) {
    const std::size_t run = std::min<std::size_t>(count - done, length - at);
    float* slot = slots + at;
    float* v = values + done;
    for (std::size_t i = 0; i < run; ++i) {
      const float old = slot[i];
      slot[i] = v[i] + old * 0.5f;
      v[i] = old - v[i];
    }
    done += run;
    at = 0;
  }
}

// One network over a chunk: the combs' outputs added from the last comb to the first, the
// all-passes from the last to the first, times the wet gain.
void RunNetwork(const FreeverbState& s, const FreeverbSpread& spread, float* block, const float* x,
                float* wet, std::size_t count) {
  RunCombs(block, spread, x, wet, count, s.feedback, s.damping);
  for (int i = kFreeverbLines - 1; i >= kFreeverbCombs; --i)
    RunAllpass(block + spread.start[i], spread.length[i], spread.position[i], wet, count);
  for (std::size_t i = 0; i < count; ++i)
    wet[i] *= s.wetGain;
}

// Channel c's samples of a chunk, each replaced in the pre-delay by the one it held.
void PreDelay(FreeverbState& s, const float* samples, uint32_t c, float* x, std::size_t count) {
  const uint32_t channels = s.channels;
  if (s.delayFrames == 0 || s.frozen) {
    for (std::size_t i = 0; i < count; ++i)
      x[i] = s.frozen ? 0.0f : samples[i * channels + c];
    if (s.delayFrames == 0) return;
  }
  float* line = s.memory + c;
  uint32_t at = s.delayPosition;
  for (std::size_t i = 0; i < count; ++i) {
    float& slot = line[static_cast<std::size_t>(at) * channels];
    if (!s.frozen) x[i] = slot;
    slot = samples[i * channels + c];
    if (++at == s.delayFrames) at = 0;
  }
}

void Advance(uint32_t& position, uint32_t length, std::size_t count) {
  position = static_cast<uint32_t>((position + count) % length);
}

}  // namespace

void ProcessFreeverb(FreeverbState& s, float* samples, int32_t frames) {
  if (s.memory == nullptr) return;
  const uint32_t channels = s.channels;
  const bool stereo = channels == 2 && s.spreads == 2;
  float x[kChunkFrames];
  float wet[2][2][kChunkFrames];
  for (auto left = static_cast<std::size_t>(std::max(frames, 0)); left > 0;) {
    const std::size_t count = std::min(kChunkFrames, left);
    float* block = s.memory + static_cast<std::size_t>(s.delayFrames) * channels;
    for (uint32_t c = 0; c < channels; ++c) {
      PreDelay(s, samples, c, x, count);
      float(&out)[2][kChunkFrames] = wet[stereo ? c : 0];
      for (uint32_t n = 0; n < s.spreads; ++n) {
        RunNetwork(s, s.spread[n], block, x, out[n], count);
        block += s.spread[n].size;
      }
      if (stereo) continue;
      for (std::size_t i = 0; i < count; ++i) {
        float& sample = samples[i * channels + c];
        const float w = s.spreads == 2 ? 0.5f * (out[0][i] + out[1][i]) : out[0][i];
        sample = sample * s.dryGain + w;
      }
    }
    // Each side: its own dry signal and the mean of both channels' networks of that side.
    for (std::size_t i = 0; stereo && i < count; ++i) {
      for (uint32_t side = 0; side < 2; ++side) {
        float& sample = samples[i * 2 + side];
        sample = sample * s.dryGain + 0.5f * (wet[0][side][i] + wet[1][side][i]);
      }
    }
    for (uint32_t n = 0; n < s.spreads; ++n) {
      for (int i = 0; i < kFreeverbLines; ++i)
        Advance(s.spread[n].position[i], s.spread[n].length[i], count);
    }
    if (s.delayFrames > 0) Advance(s.delayPosition, s.delayFrames, count);
    samples += count * channels;
    left -= count;
  }
}

void ReleaseFreeverb(FreeverbState& state) {
  FreeSamples(state.memory);
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"reverberance", "%", 50, 0, 100, 0, "comb feedback: 0.3 at 0 %, 0.98 at 100 %"},
    {"damping", "%", 50, 0, 100, 0, "high-frequency damping in the combs"},
    {"room", "%", 100, 0, 100, 0, "room scale: the comb delays, 10 % to 100 % of Freeverb's"},
    {"depth", "%", 100, 0, 100, 0, "stereo depth: spread of each channel's second network"},
    {"predelay", "ms", 0, 0, 500, 0, "delay before the reverberation"},
    {"wet", "dB", 0, -10, 10, 0, "gain of the reverberation"},
    {"wetonly", "", 0, 0, 1, 1, "no or yes: leave the input out"},
    {"dry", "", 1, 0, 2, 0, "gain of the input"},
    {"freeze", "", 0, 0, 1, 1, "no or yes: the combs hold their sound and take no input"},
};

constexpr const char* kNoYes[] = {"no", "yes"};

// Pedalboard's names, on its scales: room_size r gives its comb feedback 0.7 + 0.28 r; wet_level
// w its wet gain 3 w of a mono input; dry_level its dry gain 2 d; width and freeze_mode as given.
double FromRoomSize(double r) {
  if (!(r >= 0.0 && r <= 1.0)) return -1.0;
  return std::min(kCurveB + kCurveA * kCurveB * std::log(0.3 - 0.28 * r), 100.0);
}
double FromWetLevel(double w) {
  return w > 0.0 ? 20.0 * std::log10(3.0 * w) : -HUGE_VAL;
}
double FromDryLevel(double d) {
  return 2.0 * d;
}
double FromWidth(double width) {
  return 100.0 * width;
}
double FromFreezeMode(double mode) {
  return mode >= 0.5 && mode <= 1.0 ? 1.0 : mode < 0.5 && mode >= 0.0 ? 0.0 : -1.0;
}

constexpr ParameterAlias kRoomSize[] = {{"room_size", FromRoomSize}};
constexpr ParameterAlias kWidth[] = {{"width", FromWidth}};
constexpr ParameterAlias kWetLevel[] = {{"wet_level", FromWetLevel}};
constexpr ParameterAlias kDryLevel[] = {{"dry_level", FromDryLevel}};
constexpr ParameterAlias kFreezeMode[] = {{"freeze_mode", FromFreezeMode}};

constexpr ParameterSyntax kSyntax[] = {
    {.aliases = kRoomSize, .aliasCount = 1},
    {},
    {},
    {.aliases = kWidth, .aliasCount = 1},
    {},
    {.aliases = kWetLevel, .aliasCount = 1},
    {.choices = kNoYes, .choiceCount = 2},
    {.aliases = kDryLevel, .aliasCount = 1},
    {.choices = kNoYes, .choiceCount = 2, .aliases = kFreezeMode, .aliasCount = 1},
};

void Init(void* record, const StageValues& v, StreamShape in) {
  auto& s = As<FreeverbState>(record);
  const double rate = in.sampleRate;
  const double depth = v.values[kDepth] / 100.0;
  s.channels = in.channels;
  s.spreads = in.channels <= 2 && depth > 0.0 ? 2 : 1;
  const double room = v.values[kRoom] / 100.0 * 0.9 + 0.1;
  uint64_t total = 0;
  for (uint32_t n = 0; n < s.spreads; ++n) {
    InitSpread(s.spread[n], rate, room, n * depth);
    total += s.spread[n].size;
  }
  const double delay = v.values[kPredelay] / 1000.0 * rate + 0.5;
  s.delayFrames = delay >= 1.0 ? static_cast<uint32_t>(std::min(delay, kLongest)) : 0;
  s.frozen = v.values[kFreeze] != 0.0;
  const double reverberance = v.values[kReverberance];
  s.feedback =
      s.frozen
          ? 1.0f
          : static_cast<float>(1.0 - Exponential((reverberance - kCurveB) / (kCurveA * kCurveB)));
  s.damping = s.frozen ? 0.0f : static_cast<float>(v.values[kDamping] / 100.0 * 0.3 + 0.2);
  s.wetGain = static_cast<float>(TenToThe(v.values[kWet] / 20.0) * 0.015);
  s.dryGain = v.values[kWetOnly] != 0.0 ? 0.0f : Single(v.values[kDry]);
  s.memory = AllocateSamples(total * in.channels + uint64_t{s.delayFrames} * in.channels);
}

bool HasMemory(const void* state) {
  return As<FreeverbState>(state).memory != nullptr;
}

// Same buffers hold the same lines: they run on where they were.
void Carry(const void* from, void* to, bool sameBuffers) {
  if (!sameBuffers) return;
  const auto& old = As<FreeverbState>(from);
  auto& fresh = As<FreeverbState>(to);
  for (uint32_t n = 0; n < fresh.spreads; ++n) {
    if (!std::equal(std::begin(old.spread[n].length), std::end(old.spread[n].length),
                    fresh.spread[n].length))
      return;
  }
  for (uint32_t n = 0; n < fresh.spreads; ++n)
    std::copy(std::begin(old.spread[n].position), std::end(old.spread[n].position),
              fresh.spread[n].position);
  fresh.delayPosition = old.delayPosition;
}

}  // namespace

const EffectFamily kFreeverbFamily = {
    {"freeverb", nullptr, 0,
     "SoX's reverb: Freeverb's combs and all-passes per channel, stereo depth, pre-delay",
     kParameters, CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(FreeverbState),
     .init = Init,
     .process = ProcessAs<FreeverbState, ProcessFreeverb>,
     .release = ReleaseAs<FreeverbState, ReleaseFreeverb>,
     .hasBuffers = HasMemory,
     .carry = Carry},
};

}  // namespace wavfx
