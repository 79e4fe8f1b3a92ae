#include "effects/dither.h"

#include <algorithm>

#include "dsp/effect_math.h"
#include "dsp/sample_buffer.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

constexpr const char* kTypes[] = {"tpdf", "shaped"};

constexpr uint64_t kGolden = 0x9E3779B97F4A7C15u;

// SplitMix64's output function.
uint64_t Mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

// Channel c's stream: SplitMix64 seeded with Mix(Mix(seed + golden) + c + golden); its n-th
// output (from 0) is Mix(key + (n + 1) golden).
uint64_t ChannelKey(uint64_t seed, uint32_t channel) {
  return Mix(Mix(seed + kGolden) + channel + kGolden);
}

// The difference of the output's two 32-bit halves, times 2^-32: triangular on (-1, 1).
double Triangular(uint64_t key, uint64_t frame) {
  const uint64_t r = Mix(key + (frame + 1) * kGolden);
  const auto difference = static_cast<int64_t>(r >> 32) - static_cast<int64_t>(r & 0xFFFFFFFFu);
  return static_cast<double>(difference) * 0x1p-32;
}

// Within the grid's range a step is at most 1.5 beyond it, so a clamped value keeps the
// shaping's error below 2 steps.
double Bounded(float x, double steps) {
  const double scaled = static_cast<double>(x == x ? x : 0.0f) * steps;
  const double limit = steps + 2.0;
  return std::min(std::max(scaled, -limit), limit);
}

// The grid value q, clamped to the depth's range, as the float that converts back to q.
float OnGrid(double q, const DitherState& state) {
  return static_cast<float>(std::min(std::max(q, -state.steps - 1.0), state.steps) *
                            state.stepSize);
}

// Channels c to c + kLanes - 1, side by side so that their shaping loops overlap.
template <bool kShaped, uint32_t kLanes>
void DitherChannels(DitherState& state, float* samples, uint64_t frames, uint32_t c) {
  const uint32_t channels = state.channels;
  uint64_t keys[kLanes];
  float errors[kLanes];
  for (uint32_t lane = 0; lane < kLanes; ++lane) {
    keys[lane] = ChannelKey(state.seed, c + lane);
    errors[lane] = kShaped ? state.errors[c + lane] : 0.0f;
  }
  float* sample = samples + c;
  for (uint64_t i = 0; i < frames; ++i, sample += channels) {
    for (uint32_t lane = 0; lane < kLanes; ++lane) {
      const double wanted = Bounded(sample[lane], state.steps) - static_cast<double>(errors[lane]);
      const double q = FloorSmall(wanted + Triangular(keys[lane], state.frame + i) + 0.5);
      if (kShaped) errors[lane] = static_cast<float>(q - wanted);
      sample[lane] = OnGrid(q, state);
    }
  }
  if (kShaped) {
    for (uint32_t lane = 0; lane < kLanes; ++lane)
      state.errors[c + lane] = errors[lane];
  }
}

template <bool kShaped>
void DitherFrames(DitherState& state, float* samples, uint64_t frames) {
  uint32_t c = 0;
  for (; c + 2 <= state.channels; c += 2)
    DitherChannels<kShaped, 2>(state, samples, frames, c);
  if (c < state.channels) DitherChannels<kShaped, 1>(state, samples, frames, c);
  state.frame += frames;
}

}  // namespace

bool InitDither(DitherState& state, uint32_t channels, int bits, bool shaped, uint64_t seed) {
  state.channels = channels;
  state.shaped = shaped;
  state.seed = seed;
  state.frame = 0;
  state.active = bits <= kMaxDitherBits;
  if (bits < 2) bits = 16;
  state.steps = static_cast<double>((int64_t{1} << (bits - 1)) - 1);
  state.stepSize = 1.0 / state.steps;
  state.errors = nullptr;
  if (shaped && state.active) state.errors = AllocateSamples(channels);
  return !shaped || state.errors != nullptr || channels == 0;
}

// The shaping's error is kept in single precision from frame to frame.
void ProcessDither(DitherState& state, float* samples, int32_t frames) {
  if (frames <= 0 || !state.active) return;
  if (state.shaped) {
    if (state.errors != nullptr) DitherFrames<true>(state, samples, static_cast<uint64_t>(frames));
    return;
  }
  uint64_t done = 0;
  const VectorKernels* kernels = ActiveKernels();
  if (kernels != nullptr && kernels->ditherTpdf != nullptr &&
      (state.channels == 1 || state.channels == 2)) {
    const uint64_t keys[2] = {ChannelKey(state.seed, 0), ChannelKey(state.seed, 1)};
    done = kernels->ditherTpdf(samples, static_cast<std::size_t>(frames), state.channels, keys,
                               state.frame, state.steps, state.stepSize);
    state.frame += done;
  }
  DitherFrames<false>(state, samples + done * state.channels, static_cast<uint64_t>(frames) - done);
}

void ReleaseDither(DitherState& state) {
  FreeSamples(state.errors);
}

namespace {

constexpr ParameterSyntax kSyntax[] = {{kTypes, std::size(kTypes), false, false}, {}, {}};
constexpr wavfx_parameter_info kParameters[] = {
    {"type", "", 0, 0, 1, 1, "tpdf or shaped (first-order high-pass error feedback)"},
    {"seed", "", 0, 0, 4294967295.0, 1, "the noise's seed: equal seeds give equal bytes"},
    {"bits", "", 0, 0, 32, 1, "the integer depth dithered for; 0 follows the output (else 16)"},
};
constexpr std::size_t kType = 0, kSeed = 1, kBits = 2;

void Init(void* state, const StageValues& v, StreamShape in) {
  InitDither(As<DitherState>(state), in.channels, static_cast<int>(v.values[kBits]),
             v.values[kType] == 1.0, static_cast<uint64_t>(v.values[kSeed]));
}

bool ChangesAudio(const void* state) {
  const auto& dither = As<DitherState>(state);
  return dither.active && (!dither.shaped || dither.errors != nullptr);
}

bool HasBuffers(const void* state) {
  const auto& dither = As<DitherState>(state);
  return !dither.active || !dither.shaped || dither.errors != nullptr || dither.channels == 0;
}

void Carry(const void* from, void* to, bool) {
  const auto& old = As<DitherState>(from);
  auto& fresh = As<DitherState>(to);
  fresh.frame = old.frame;
  if (old.errors == nullptr || fresh.errors == nullptr || old.errors == fresh.errors) return;
  for (uint32_t c = 0; c < fresh.channels && c < old.channels; ++c)
    fresh.errors[c] = old.errors[c];
}

bool Check(const StageValues& v, std::string& problem) {
  if (v.values[kBits] != 1.0) return true;
  problem = "bits 1 is not a depth: 0 follows the output, 2 to 32 are depths";
  return false;
}

void FollowOutput(StageValues& v, int bits) {
  if (v.values[kBits] == 0.0) v.values[kBits] = bits;
}

}  // namespace

const EffectFamily kDitherFamily = {
    {"dither", nullptr, 0,
     "seeded triangular dither, optionally noise-shaped, onto an integer grid", kParameters,
     CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(DitherState),
     .init = Init,
     .process = ProcessAs<DitherState, ProcessDither>,
     .release = ReleaseAs<DitherState, ReleaseDither>,
     .changesAudio = ChangesAudio,
     .hasBuffers = HasBuffers,
     .carry = Carry,
     .check = Check,
     .followOutput = FollowOutput},
};

}  // namespace wavfx
