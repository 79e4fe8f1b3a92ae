#include "effects/gate.h"

#include <cmath>
#include <cstddef>

#include "dsp/effect_math.h"

namespace wavfx {
namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"threshold", "dB", -20, -100, 0, 0, "peak level that opens the gate"},
    {"range", "dB", 40, 0, 120, 0, "attenuation while the gate is closed"},
    {"attack", "ms", 1, 0.01, 1000, 0, "time constant of the opening"},
    {"hold", "ms", 10, 0, 5000, 0, "how long the gate stays open after the last peak"},
    {"release", "ms", 100, 1, 5000, 0, "time constant of the closing"},
};

float Factor(double ms, double fs) {
  return static_cast<float>(Exponential(-1000.0 / (ms * fs)));
}

}  // namespace

void InitGate(GateState& state, double thresholdDb, double rangeDb, double attackMs, double holdMs,
              double releaseMs, uint32_t sampleRate, uint32_t channels) {
  const double fs = static_cast<double>(sampleRate);
  state.channels = channels;
  state.threshold = static_cast<float>(TenToThe(thresholdDb / 20.0));
  state.closed = static_cast<float>(TenToThe(-rangeDb / 20.0));
  state.attack = Factor(attackMs, fs);
  state.release = Factor(releaseMs, fs);
  const double hold = std::floor(holdMs * fs / 1000.0 + 0.5);
  state.holdFrames = hold >= 0.0 && hold < 0x1p32 ? static_cast<uint32_t>(hold) : 0u;
  state.holding = 0;
  state.started = false;
  state.gain = state.closed;
}

// The gain steps towards 1 or the closed gain and settles within a rounding of either: the
// difference never becomes subnormal, as the closed gain is at least 1e-6.
void ProcessGate(GateState& state, float* samples, int32_t frames) {
  const std::size_t channels = state.channels;
  float gain = state.gain;
  uint32_t holding = state.holding;
  for (int32_t f = 0; f < frames; ++f, samples += channels) {
    float peak = 0.0f;
    for (std::size_t c = 0; c < channels; ++c) {
      const float a = samples[c] < 0.0f ? -samples[c] : samples[c];
      peak = a > peak ? a : peak;
    }
    if (peak >= state.threshold) {
      holding = state.holdFrames + 1;
    }
    const bool open = holding > 0;
    holding -= open ? 1 : 0;
    const float target = open ? 1.0f : state.closed;
    gain = target + (gain - target) * (target > gain ? state.attack : state.release);
    for (std::size_t c = 0; c < channels; ++c)
      samples[c] = samples[c] * gain;
  }
  state.gain = gain;
  state.holding = holding;
  state.started = state.started || frames > 0;
}

namespace {

void Init(void* state, const StageValues& v, StreamShape in) {
  InitGate(As<GateState>(state), v.values[0], v.values[1], v.values[2], v.values[3], v.values[4],
           in.sampleRate, in.channels);
}

bool ChangesAudio(const void* state) {
  return As<GateState>(state).closed != 1.0f;
}

// Before any frame the new settings start as they would on their own.
void Carry(const void* from, void* to, bool) {
  if (!As<GateState>(from).started) return;
  As<GateState>(to).started = true;
  As<GateState>(to).gain = As<GateState>(from).gain;
  As<GateState>(to).holding = As<GateState>(from).holding;
}

}  // namespace

const EffectFamily kGateFamily = {
    {"gate", nullptr, 0, "noise gate, one gain for all channels", kParameters,
     CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(GateState),
     .init = Init,
     .process = ProcessAs<GateState, ProcessGate>,
     .changesAudio = ChangesAudio,
     .carry = Carry},
};

}  // namespace wavfx
