#include "effects/phaser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "dsp/effect_math.h"
#include "dsp/fast_sine.h"
#include "dsp/one_pole_step.h"
#include "dsp/sample_buffer.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

// Frames per control period: the oscillator and the stages' coefficient move once per period,
// on fixed frames of the stream, as the flushes of subnormal memories do every kFlushFrames.
constexpr uint32_t kControlFrames = 32;
constexpr uint32_t kFlushFrames = 4096;

// The sweep's lowest corner, and the most it swings each way at depth 1, in decades.
constexpr double kLowest = 20.0;
constexpr double kDecadesAtFullDepth = 1.5;
constexpr double kHalfPi = 1.57079632679489661923;

// The coefficients of `count` oscillator values, as many as it takes on the vector path.
void CoefficientsAt(const PhaserState& state, const float* sinesPlusOne, float* coefficients,
                    uint32_t count) {
  const VectorKernels* kernels = ActiveKernels();
  std::size_t done = 0;
  if (kernels != nullptr) {
    done = kernels->phaserCoefficients(sinesPlusOne, coefficients, count, state.sweep);
  }
  for (std::size_t p = done; p < count; ++p)
    coefficients[p] = PhaserCoefficient(state.sweep, sinesPlusOne[p]);
}

// The most frames worked on at a time: 64 control periods.
constexpr uint32_t kChunkFrames = kPhaserKernelFrames;
constexpr uint32_t kMaxStages = 12;

// The frames of a chunk as runs of one coefficient each: run r ends before frame ends[r].
struct Runs {
  uint32_t ends[kChunkFrames / kControlFrames + 1];
  float coefficients[kChunkFrames / kControlFrames + 1];
  uint32_t count;
  void Add(uint32_t end, float coefficient) {
    ends[count] = end;
    coefficients[count++] = coefficient;
  }
};

// One channel's value, or two adjacent channels' values as one vector; each operation on a pair
// is the same operation on each channel alone.
using Pair = float __attribute__((vector_size(8)));
template <class Lanes>
Lanes Load(const float* values) {
  Lanes lanes;
  std::memcpy(&lanes, values, sizeof lanes);
  return lanes;
}
template <class Lanes>
void Store(float* values, Lanes lanes) {
  std::memcpy(values, &lanes, sizeof lanes);
}

// One channel or a pair of channels through kStages stages over a chunk's runs, frames `stride`
// floats apart. A channel's memory holds each stage's last input, then
// the chain's last output. Stage k: y = (a x + x') - a y', from its input x, its last input x'
// and its last output y'. The chain's input is the sample plus feedback times its last output;
// without feedback, the sample itself, so that no frame waits for the one before to leave.
template <uint32_t kStages, class Lanes, bool kFeedback>
void PhaseChannels(const PhaserState& state, const Runs& runs, float* samples, std::size_t stride,
                   float* memory) {
  constexpr uint32_t kLanes = sizeof(Lanes) / sizeof(float);
  const uint32_t span = state.stages + 1;
  float gathered[kLanes];
  Lanes m[kStages + 1];
  for (uint32_t k = 0; k <= kStages; ++k) {
    for (uint32_t lane = 0; lane < kLanes; ++lane)
      gathered[lane] = memory[lane * span + k];
    m[k] = Load<Lanes>(gathered);
  }
  const Lanes feedback = Lanes{} + state.feedback;
  const Lanes wet = Lanes{} + state.wet;
  const Lanes dry = Lanes{} + state.dry;
  for (uint32_t r = 0, i = 0; r < runs.count; ++r) {
    const Lanes c = Lanes{} + runs.coefficients[r];
    for (; i < runs.ends[r]; ++i, samples += stride) {
      const Lanes x = Load<Lanes>(samples);
      Lanes in = kFeedback ? x + feedback * m[kStages] : x;
#pragma GCC unroll 12
      for (uint32_t k = 0; k < kStages; ++k) {
        const Lanes out = (c * in + m[k]) - c * m[k + 1];
        m[k] = in;
        in = out;
      }
      m[kStages] = in;
      Store<Lanes>(samples, dry * x + wet * in);
    }
  }
  for (uint32_t k = 0; k <= kStages; ++k) {
    Store<Lanes>(gathered, m[k]);
    for (uint32_t lane = 0; lane < kLanes; ++lane)
      memory[lane * span + k] = gathered[lane];
  }
}

uint32_t FramesOf(const Runs& runs) {
  return runs.count > 0 ? runs.ends[runs.count - 1] : 0;
}

// Whether the vector path's skewed stages take a chunk of `frames` frames without feedback.
// With fewer stages the processor overlaps the frames of the plain loop as well, and short
// chunks would spend most of their steps filling and emptying the skew (2 (stages - 1) each).
bool SkewFits(const PhaserState& state, const VectorKernels* kernels, uint32_t frames) {
  return kernels != nullptr && kernels->phaser != nullptr && state.stages >= 4 &&
         frames >= 16 * (state.stages - 1);
}

// Without feedback, the vector path's skewed stages, one or two channels at a time.
bool PhaseSkewed(PhaserState& state, const Runs& runs, float* samples) {
  const VectorKernels* kernels = ActiveKernels();
  const uint32_t frames = FramesOf(runs);
  if (!SkewFits(state, kernels, frames)) return false;
  const uint32_t channels = state.channels;
  const uint32_t span = state.stages + 1;
  for (uint32_t c = 0; c < channels;) {
    const uint32_t group = c + 2 <= channels && 2 * state.stages <= 16 ? 2 : 1;
    kernels->phaser(samples + c, frames, channels, group, state.stages, runs.ends,
                    runs.coefficients, state.memories + c * span, state.dry, state.wet);
    c += group;
  }
  return true;
}

template <uint32_t kStages, bool kFeedback>
void PhaseAllChannels(PhaserState& state, const Runs& runs, float* samples) {
  if (!kFeedback && PhaseSkewed(state, runs, samples)) return;
  const uint32_t channels = state.channels;
  uint32_t c = 0;
  for (; c + 2 <= channels; c += 2) {
    PhaseChannels<kStages, Pair, kFeedback>(state, runs, samples + c, channels,
                                            state.memories + c * (kStages + 1));
  }
  if (c < channels) {
    PhaseChannels<kStages, float, kFeedback>(state, runs, samples + c, channels,
                                             state.memories + c * (kStages + 1));
  }
}

template <uint32_t kStages>
void PhaseFrames(PhaserState& state, const Runs& runs, float* samples) {
  if (state.feedback != 0.0f) {
    PhaseAllChannels<kStages, true>(state, runs, samples);
  } else {
    PhaseAllChannels<kStages, false>(state, runs, samples);
  }
}

using FramesFunction = void (*)(PhaserState&, const Runs&, float*);

template <uint32_t... kStages>
constexpr std::array<FramesFunction, sizeof...(kStages)> MakeFramesTable(
    std::integer_sequence<uint32_t, kStages...>) {
  return {PhaseFrames<kStages + 1>...};
}

constexpr auto kFramesTable = MakeFramesTable(std::make_integer_sequence<uint32_t, kMaxStages>());

}  // namespace

float PhaserCoefficient(const PhaserSweep& sweep, float sinePlusOne) {
  const double sine = static_cast<double>(sinePlusOne - 1.0f);
  double hz = sweep.centre * TenToThe(sweep.depthDecades * sine);
  hz = std::max(std::min(hz, sweep.highest), sweep.lowest);
  const double w = hz * sweep.radiansPerHz;
  const double g = fast_sine::SinPolynomial(w) / fast_sine::SinPolynomial(sweep.halfPi - w);
  return static_cast<float>((g - 1.0) / (g + 1.0));
}

PhaserSweep PhaserSweepAt(uint32_t sampleRate, double depth, double centreHz) {
  const double rate = static_cast<double>(sampleRate);
  return {centreHz,
          depth * kDecadesAtFullDepth,
          kLowest,
          std::min(20000.0, 0.49 * rate),
          3.14159265358979323846 / rate,
          kHalfPi};
}

void InitPhaser(PhaserState& state, uint32_t sampleRate, uint32_t channels, float rateHz,
                double depth, double centreHz, float feedback, float mix, uint32_t stages) {
  state.stages = stages;
  state.channels = channels;
  state.memories = AllocateSamples(static_cast<uint64_t>(channels) * (stages + 1));
  InitOscillator(state.oscillator, rateHz * static_cast<float>(kControlFrames),
                 static_cast<int32_t>(sampleRate));
  state.sweep = PhaserSweepAt(sampleRate, depth, centreHz);
  state.feedback = feedback;
  state.wet = mix;
  state.dry = 1.0f - mix;
  state.position = 0;
}

namespace {

// Runs `phase(runs, first frame, frames)` over `frames` frames a chunk at a time, each chunk's
// runs of coefficients computed first. Subnormal memories are flushed on fixed frames of the
// stream.
template <class Phase>
void EachChunk(PhaserState& state, int32_t frames, Phase phase) {
  Runs runs;
  float sines[kChunkFrames / kControlFrames + 1];
  float coefficients[kChunkFrames / kControlFrames + 1];
  std::size_t done = 0;
  for (auto left = static_cast<uint32_t>(frames); left > 0;) {
    const uint32_t count = std::min({left, kChunkFrames, kFlushFrames - state.position});
    // Frame `first` of the chunk starts the first control period that begins in it.
    const uint32_t first = (kControlFrames - state.position % kControlFrames) % kControlFrames;
    const uint32_t periods = first < count ? (count - first - 1) / kControlFrames + 1 : 0;
    SinePlusOneValues(state.oscillator, sines, periods);
    CoefficientsAt(state, sines, coefficients, periods);
    runs.count = 0;
    if (first > 0) runs.Add(std::min(first, count), state.coefficient);
    for (uint32_t p = 0; p < periods; ++p) {
      state.coefficient = coefficients[p];
      runs.Add(std::min(first + (p + 1) * kControlFrames, count), state.coefficient);
    }
    phase(runs, done, count);
    done += count;
    left -= count;
    state.position += count;
    if (state.position == kFlushFrames) {
      for (uint32_t j = 0; j < state.channels * (state.stages + 1); ++j)
        FlushSubnormalMemory(state.memories[j]);
      state.position = 0;
    }
  }
}

// 16-bit samples in place: without feedback, one or two channels whose frames the skewed
// stages take straight from the samples; false for the others.
bool ProcessPhaserSamples(PhaserState& state, int16_t* samples, int32_t frames) {
  const VectorKernels* kernels = ActiveKernels();
  const uint32_t channels = state.channels;
  if (frames <= 0 || state.memories == nullptr || kernels == nullptr ||
      kernels->phaserSamples == nullptr || state.feedback != 0.0f || state.stages < 4 ||
      channels > 2 || channels * state.stages > 16) {
    return false;
  }
  const FramesFunction run = kFramesTable[state.stages - 1];
  alignas(64) float values[kChunkFrames * 2];
  EachChunk(state, frames, [&](const Runs& runs, std::size_t first, uint32_t count) {
    int16_t* at = samples + first * channels;
    if (SkewFits(state, kernels, count)) {
      kernels->phaserSamples(at, count, channels, state.stages, runs.ends, runs.coefficients,
                             state.memories, state.dry, state.wet, values);
      return;
    }
    SamplesToFloats(at, values, std::size_t{count} * channels);
    run(state, runs, values);
    FloatsToSamples(values, at, std::size_t{count} * channels);
  });
  return true;
}

}  // namespace

void ProcessPhaser(PhaserState& state, float* samples, int32_t frames) {
  if (frames <= 0 || state.memories == nullptr) return;
  const FramesFunction run = kFramesTable[state.stages - 1];
  EachChunk(state, frames, [&](const Runs& runs, std::size_t first, uint32_t) {
    run(state, runs, samples + first * state.channels);
  });
}

void ReleasePhaser(PhaserState& state) {
  FreeSamples(state.memories);
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"rate", "Hz", 1, 0.01, 100, 0, "sweeps per second"},
    {"depth", "", 0.5, 0, 1, 0, "sweep: the corner swings 1.5 * depth decades each way"},
    {"centre", "Hz", 1300, 20, 20000, 0, "centre of the sweep, below half the sample rate"},
    {"feedback", "", 0, -0.99, 0.99, 0, "the stages' output fed back into their input"},
    {"mix", "", 0.5, 0, 1, 0, "share of the phased signal; the rest is the input"},
    {"stages", "", 6, 1, 12, 1, "first-order all-pass stages"},
};

void Init(void* state, const StageValues& v, StreamShape in) {
  InitPhaser(As<PhaserState>(state), in.sampleRate, in.channels, Single(v.values[0]), v.values[1],
             v.values[2], Single(v.values[3]), Single(v.values[4]),
             static_cast<uint32_t>(std::clamp(v.values[5], 1.0, double{kMaxStages})));
}

bool HasMemories(const void* state) {
  return As<PhaserState>(state).memories != nullptr;
}

void Carry(const void* from, void* to, bool) {
  const auto& old = As<PhaserState>(from);
  auto& fresh = As<PhaserState>(to);
  fresh.oscillator.phase = old.oscillator.phase;
  fresh.position = old.position;
  fresh.coefficient = old.coefficient;
  if (old.memories == nullptr || fresh.memories == nullptr || old.memories == fresh.memories ||
      old.stages != fresh.stages || old.channels != fresh.channels) {
    return;
  }
  std::memcpy(fresh.memories, old.memories, sizeof(float) * fresh.channels * (fresh.stages + 1));
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  if (v.values[2] * 2.0 < static_cast<double>(in.sampleRate)) return true;
  problem = "centre " + FormatNumber(v.values[2]) + " Hz is not below half the sample rate (" +
            FormatNumber(in.sampleRate / 2.0) + " Hz)";
  return false;
}

}  // namespace

const EffectFamily kPhaserFamily = {
    {"phaser", nullptr, 0, "all-pass stages swept by a sine, mixed with the input", kParameters,
     CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(PhaserState),
     .init = Init,
     .process = ProcessAs<PhaserState, ProcessPhaser>,
     .release = ReleaseAs<PhaserState, ReleasePhaser>,
     .changesAudio = HasMemories,
     .hasBuffers = HasMemories,
     .carry = Carry,
     .processSamples = SamplesAs<PhaserState, ProcessPhaserSamples>,
     .fits = Fits},
};

}  // namespace wavfx
