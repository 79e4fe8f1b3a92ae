#include "effects/tremolo.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>

#include "dsp/effect_math.h"
#include "dsp/fast_sine.h"
#include "dsp/frame_gains.h"

namespace wavfx {
namespace {

// The most frames worked on at a time.
constexpr std::size_t kChunkFrames = 256;

float Gain(float sinePlusOne, float depth) {
  const float base = 1.0f - depth * 0.5f;
  return base + sinePlusOne * depth * 0.5f;
}

constexpr double kPi = 3.14159265358979323846;

// sin(2 pi turns) for 0 <= turns < 1: the nearest half-turn k taken off exactly, then
// sin(pi (2 turns - k)) (-1)^k.
double SineOfTurns(double turns) {
  const double halfTurns = FloorSmall(turns * 2.0 + 0.5);
  const double sine = fast_sine::SinPolynomial(kPi * (turns * 2.0 - halfTurns));
  return halfTurns == 1.0 ? -sine : sine;
}

// The gain swung down at frame n: turns = frac(rate n / sampleRate + 1/4), the offset
// 1 - depth/2 plus depth/2 sin(2 pi turns).
double DownGain(const TremoloState& state, uint64_t frame) {
  const double cycles = state.rateHz * static_cast<double>(frame) / state.sampleRate + 0.25;
  const double offset = 1.0 - state.downDepth * 0.5;
  return SineOfTurns(cycles - std::floor(cycles)) * (1.0 - offset) + offset;
}

void ProcessDown(TremoloState& state, float* samples, std::size_t frames) {
  for (std::size_t frame = 0; frame < frames; ++frame, ++state.frame) {
    const double gain = DownGain(state, state.frame);
    for (uint32_t c = 0; c < state.channels; ++c, ++samples) {
      *samples = static_cast<float>(static_cast<double>(*samples) * gain);
    }
  }
}

}  // namespace

void InitTremolo(TremoloState& state, int32_t sampleRate, float rateHz, float depth,
                 uint32_t channels) {
  // A zero rate makes the increment infinite; the gain is then NaN and the output silence.
  InitOscillator(state.oscillator, rateHz, sampleRate);
  state.depth = depth;
  state.channels = channels;
}

void InitTremoloDown(TremoloState& state, double sampleRate, double rateHz, double depth,
                     uint32_t channels) {
  state.down = true;
  state.sampleRate = sampleRate;
  state.rateHz = rateHz;
  state.downDepth = depth;
  state.channels = channels;
}

// The gain uses the phase before the frame's advance. The oscillator runs even when the stream
// has no channels. A chunk at a time: the oscillator's values, the gains, then the samples.
void ProcessTremolo(TremoloState& state, float* samples, int32_t frames) {
  if (state.down) return ProcessDown(state, samples, static_cast<std::size_t>(std::max(frames, 0)));
  const std::size_t channels = state.channels;
  float gains[kChunkFrames];
  for (auto left = static_cast<std::size_t>(std::max(frames, 0)); left > 0;) {
    const std::size_t count = std::min(kChunkFrames, left);
    SinePlusOneValues(state.oscillator, gains, count);
    for (std::size_t frame = 0; frame < count; ++frame) {
      gains[frame] = Gain(gains[frame], state.depth);
    }
    ApplyFrameGains(samples, gains, count, channels);
    samples += count * channels;
    left -= count;
  }
}

namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"rate", "Hz", 5, 0.01, 100, 0, "speed of the volume swing"},
    {"depth", "", 0.7, 0, 1, 0, "swing: the gain runs from 1 - depth/2 to 1 + depth/2"},
    {"swing", "", 0, 0, 1, 1,
     "around (1 +- depth/2, from 1) or down (SoX's: from 1 down to 1 - depth and back)"},
};
constexpr const char* kSwings[] = {"around", "down"};
constexpr ParameterSyntax kSyntax[] = {{}, {}, {kSwings, std::size(kSwings), false, false}};

void Init(void* state, const StageValues& v, StreamShape in) {
  if (v.values[2] == 1.0) {
    return InitTremoloDown(As<TremoloState>(state), in.sampleRate, v.values[0], v.values[1],
                           in.channels);
  }
  InitTremolo(As<TremoloState>(state), static_cast<int32_t>(in.sampleRate), Single(v.values[0]),
              Single(v.values[1]), in.channels);
}

void Carry(const void* from, void* to, bool) {
  As<TremoloState>(to).oscillator.phase = As<TremoloState>(from).oscillator.phase;
  As<TremoloState>(to).frame = As<TremoloState>(from).frame;
}

}  // namespace

const EffectFamily kTremoloFamily = {
    {"tremolo", nullptr, 0, "a sine swing of the volume", kParameters, CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(TremoloState),
     .init = Init,
     .process = ProcessAs<TremoloState, ProcessTremolo>,
     .carry = Carry},
};

}  // namespace wavfx
