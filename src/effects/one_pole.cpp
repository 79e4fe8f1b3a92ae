#include "effects/one_pole.h"

#include <algorithm>

#include "dsp/one_pole_step.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"
#include "effects/biquad_family.h"

namespace wavfx {
namespace {

// Frames between flushes of subnormal memories. The flushes fall on fixed frames of the stream,
// so float output does not depend on how the stream is cut into blocks.
constexpr uint32_t kFlushPeriod = 4096;

// Filters a block in place. Channel 0 keeps its own memory; channels 1 and up run through the
// shared second memory one after another. The highpass output is the input minus the lowpass.
template <bool kHighpass>
void ProcessOnePole(OnePoleState& state, float* samples, int32_t frames) {
  const uint32_t channels = state.channels;
  if (frames <= 0 || channels == 0) return;
  const float a = state.coefficient;
  const auto filter = [a](float& sample, float& memory) {
    const float x = sample;
    const float y = OnePoleStep(x, memory, a);
    sample = kHighpass ? x - y : y;
  };
  float memory0 = state.memory0;
  float memory1 = state.memory1;
  float* sample = samples;
  auto left = static_cast<uint32_t>(frames);
  while (left > 0) {
    const uint32_t run = std::min(left, kFlushPeriod - state.sinceFlush);
    for (uint32_t frame = 0; frame < run; ++frame) {
      filter(*sample++, memory0);
      for (uint32_t channel = 1; channel < channels; ++channel) {
        filter(*sample++, memory1);
      }
    }
    left -= run;
    state.sinceFlush += run;
    if (state.sinceFlush == kFlushPeriod) {
      FlushSubnormalMemory(memory0);
      FlushSubnormalMemory(memory1);
      state.sinceFlush = 0;
    }
  }
  state.memory0 = memory0;
  state.memory1 = memory1;
}

// The same from 16-bit stereo samples and back, as SamplesToFloats, ProcessOnePole and
// FloatsToSamples would give.
template <bool kHighpass>
bool ProcessOnePoleSamples(OnePoleState& state, int16_t* samples, int32_t frames) {
  const VectorKernels* kernels = ActiveKernels();
  if (kernels == nullptr || state.channels != 2 || frames <= 0) return false;
  float memories[2] = {state.memory0, state.memory1};
  const std::size_t done = kernels->onePoleSamples(samples, static_cast<std::size_t>(frames),
                                                   state.coefficient, memories, kHighpass);
  state.memory0 = memories[0];
  state.memory1 = memories[1];
  state.sinceFlush = static_cast<uint32_t>((state.sinceFlush + done) % kFlushPeriod);
  const auto left = static_cast<int32_t>(static_cast<std::size_t>(frames) - done);
  int16_t* rest = samples + 2 * done;
  float values[kSampleVectorFrames * 2];
  SamplesToFloats(rest, values, 2 * static_cast<std::size_t>(left));
  ProcessOnePole<kHighpass>(state, values, left);
  FloatsToSamples(values, rest, 2 * static_cast<std::size_t>(left));
  // 16-bit samples do not depend on when the memories are flushed.
  FlushSubnormalMemory(state.memory0);
  FlushSubnormalMemory(state.memory1);
  return true;
}

}  // namespace

void InitOnePole(OnePoleState& state, uint32_t sampleRate, float cutoff, uint32_t channels) {
  // The Nyquist-side limit is applied last, so at rates below about 22 Hz it wins over 10 Hz.
  if (cutoff < 10.0f) cutoff = 10.0f;
  const float limit = static_cast<float>(sampleRate) * 0.45f;
  if (cutoff > limit) cutoff = limit;
  state.coefficient = OnePoleCoefficient(cutoff, sampleRate);
  state.memory0 = 0.0f;
  state.memory1 = 0.0f;
  state.channels = channels;
  state.sinceFlush = 0;
}

void ProcessLowpass(OnePoleState& state, float* samples, int32_t frames) {
  ProcessOnePole<false>(state, samples, frames);
}

void ProcessHighpass(OnePoleState& state, float* samples, int32_t frames) {
  ProcessOnePole<true>(state, samples, frames);
}

bool ProcessLowpassSamples(OnePoleState& state, int16_t* samples, int32_t frames) {
  return ProcessOnePoleSamples<false>(state, samples, frames);
}

bool ProcessHighpassSamples(OnePoleState& state, int16_t* samples, int32_t frames) {
  return ProcessOnePoleSamples<true>(state, samples, frames);
}

namespace {

// The stage record: the classic one-pole filter, or with poles=2 a cookbook section.
struct PassState {
  OnePoleState onePole;
  BiquadStage twoPoles;
  bool hasTwoPoles;
};

constexpr const char* kPolesHelp = "1: the one-pole filter above; 2: a two-pole (SoX's default)";
constexpr const char* kQHelp = "two poles only: quality factor, 1/sqrt(2) Butterworth";
constexpr wavfx_parameter_info kLowpass[] = {
    {"cutoff", "Hz", 3000, 10, 100000, 0,
     "corner frequency, at most 0.45 of the sample rate with one pole, below 0.5 with two"},
    {"poles", "", 1, 1, 2, 1, kPolesHelp},
    {"q", "", kButterworthQ, 0.001, 1000, 0, kQHelp},
};
constexpr wavfx_parameter_info kHighpass[] = {
    {"cutoff", "Hz", 300, 10, 100000, 0,
     "corner frequency, at most 0.45 of the sample rate with one pole, below 0.5 with two"},
    {"poles", "", 1, 1, 2, 1, kPolesHelp},
    {"q", "", kButterworthQ, 0.001, 1000, 0, kQHelp},
};

template <BiquadShape kShape>
void Init(void* state, const StageValues& v, StreamShape in) {
  PassState& pass = As<PassState>(state);
  pass.hasTwoPoles = v.values[1] == 2.0;
  if (!pass.hasTwoPoles) {
    InitOnePole(pass.onePole, in.sampleRate, Single(v.values[0]), in.channels);
    return;
  }
  InitBiquadStage(
      pass.twoPoles,
      {kShape, v.values[0], static_cast<double>(in.sampleRate), 0.0, BiquadWidth::Q, v.values[2]},
      in.channels, true);
}

template <void (*OnePole)(OnePoleState&, float*, int32_t)>
void Process(void* state, float* samples, int32_t frames) {
  PassState& pass = As<PassState>(state);
  if (pass.hasTwoPoles) {
    ProcessBiquadStage(&pass.twoPoles, samples, frames);
  } else {
    OnePole(pass.onePole, samples, frames);
  }
}

template <bool (*OnePole)(OnePoleState&, int16_t*, int32_t)>
bool ProcessSamples(void* state, int16_t* samples, int32_t frames) {
  PassState& pass = As<PassState>(state);
  return !pass.hasTwoPoles && OnePole(pass.onePole, samples, frames);
}

void Release(void* state) {
  if (As<PassState>(state).hasTwoPoles) ReleaseBiquadStage(&As<PassState>(state).twoPoles);
}

bool ChangesAudio(const void* state) {
  const PassState& pass = As<PassState>(state);
  return !pass.hasTwoPoles || BiquadStageChanges(&pass.twoPoles);
}

bool HasBuffers(const void* state) {
  const PassState& pass = As<PassState>(state);
  return !pass.hasTwoPoles || BiquadStageHasBuffers(&pass.twoPoles);
}

void Carry(const void* from, void* to, bool sameBuffers) {
  const PassState& old = As<PassState>(from);
  PassState& fresh = As<PassState>(to);
  if (old.hasTwoPoles != fresh.hasTwoPoles) return;
  if (fresh.hasTwoPoles) {
    CarryBiquadStage(&old.twoPoles, &fresh.twoPoles, sameBuffers);
    return;
  }
  fresh.onePole.memory0 = old.onePole.memory0;
  fresh.onePole.memory1 = old.onePole.memory1;
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  return v.values[1] != 2.0 || FrequencyFits(v.values[0], "cutoff", in, problem);
}

template <BiquadShape kShape, void (*OnePole)(OnePoleState&, float*, int32_t),
          bool (*OnePoleSamples)(OnePoleState&, int16_t*, int32_t)>
constexpr FamilyOps kPassOps = {.stateSize = sizeof(PassState),
                                .init = Init<kShape>,
                                .process = Process<OnePole>,
                                .release = Release,
                                .changesAudio = ChangesAudio,
                                .hasBuffers = HasBuffers,
                                .carry = Carry,
                                .processSamples = ProcessSamples<OnePoleSamples>,
                                .fits = Fits};

}  // namespace

const EffectFamily kLowpassFamily = {
    {"lowpass", nullptr, 0, "one-pole lowpass, or a two-pole one", kLowpass, CountOf(kLowpass)},
    nullptr,
    kPassOps<BiquadShape::Lowpass, ProcessLowpass, ProcessLowpassSamples>,
};
const EffectFamily kHighpassFamily = {
    {"highpass", nullptr, 0, "one-pole highpass: the input minus its lowpass; or a two-pole one",
     kHighpass, CountOf(kHighpass)},
    nullptr,
    kPassOps<BiquadShape::Highpass, ProcessHighpass, ProcessHighpassSamples>,
};

}  // namespace wavfx
