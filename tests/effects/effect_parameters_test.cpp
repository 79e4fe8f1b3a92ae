// The parameters of the init functions beyond the engine's values reach the arithmetic.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "effects/antique.h"
#include "effects/distortion.h"
#include "effects/echo.h"
#include "effects/reverb.h"

namespace wavfx {
namespace {

template <class State>
std::vector<float> Processed(void (*process)(State&, float*, int32_t), State& state,
                             std::vector<float> values) {
  process(state, values.data(), static_cast<int32_t>(values.size() / state.channels));
  return values;
}

std::vector<float> Impulse(std::size_t frames) {
  std::vector<float> values(frames, 0.0f);
  values[0] = 1.0f;
  return values;
}

// The first frame after frame 0 that is not silent.
double Onset(const std::vector<float>& values) {
  std::size_t i = 1;
  while (i < values.size() && values[i] == 0.0f)
    ++i;
  return static_cast<double>(i);
}

std::vector<float> Echo(uint32_t rate, double delay, float feedback, float wet, float dry,
                        std::size_t frames) {
  EchoState state{};
  InitEcho(state, rate, 1, delay, feedback, wet, dry);
  auto output = Processed(ProcessEcho, state, Impulse(frames));
  ReleaseEcho(state);
  return output;
}

// A ramp from below -1 to above 1, slow enough to meet every level of 16 bits.
std::vector<float> AntiqueOf(float cutoff, float noise, int32_t bits, float level,
                             bool ramp = true) {
  AntiqueState state{};
  InitAntique(state, 44100, 1, cutoff, noise, bits, level);
  std::vector<float> values(200000, 0.0f);
  for (std::size_t i = 0; ramp && i < values.size(); ++i)
    values[i] = -1.1f + 2.2f * static_cast<float>(i) / static_cast<float>(values.size());
  return Processed(ProcessAntique, state, values);
}

double Distinct(const std::vector<float>& values) {
  return static_cast<double>(std::set<float>(values.begin(), values.end()).size());
}

double Pole(float cutoff) {
  AntiqueState state{};
  InitAntique(state, 44100, 1, cutoff, 0.002f, 8, 0.9f);
  return state.coefficient;
}

std::vector<float> Reverb(float wet, float dry, double size, float decay) {
  ReverbState state{};
  InitReverb(state, 44100, 1, wet, dry, size, decay);
  auto output = Processed(ProcessReverb, state, Impulse(16000));
  ReleaseReverb(state);
  return output;
}

TEST(EffectParameters, ReachTheArithmetic) {
  struct Case {
    const char* what;
    double (*measure)();
    double expected;
  };
  const Case cases[] = {
      {"echo 0.1 s at 44100 Hz: first repeat",
       [] { return Onset(Echo(44100, 0.1, 0.45f, 0.5f, 0.7f, 5000)); }, 4410},
      {"echo 1 ms at 48000 Hz: first repeat",
       [] { return Onset(Echo(48000, 0.001, 0.45f, 0.5f, 0.7f, 100)); }, 48},
      {"echo 5 s at 8000 Hz: first repeat",
       [] { return Onset(Echo(8000, 5.0, 0.45f, 0.5f, 0.7f, 40001)); }, 40000},
      {"echo feedback -0.5: second repeat",
       [] { return double{Echo(100, 0.1, -0.5f, 1.0f, 0.0f, 21)[20]}; }, -0.5},
      {"echo wet 0.25: first repeat",
       [] { return double{Echo(100, 0.1, 0.45f, 0.25f, 0.0f, 21)[10]}; }, 0.25},
      {"echo dry 0.5: frame 0", [] { return double{Echo(100, 0.1, 0.45f, 0.25f, 0.5f, 21)[0]}; },
       0.5},
      {"antique 1 bit: levels", [] { return Distinct(AntiqueOf(4000.0f, 0.0f, 1, 1.0f)); }, 2},
      {"antique 4 bits: levels", [] { return Distinct(AntiqueOf(4000.0f, 0.0f, 4, 1.0f)); }, 16},
      {"antique 16 bits: levels", [] { return Distinct(AntiqueOf(4000.0f, 0.0f, 16, 1.0f)); },
       65536},
      {"antique level 0.5: loudest",
       [] { return double{AntiqueOf(4000.0f, 0.0f, 8, 0.5f).back()}; }, 0.5},
      {"antique noise 0: silence",
       [] { return Distinct(AntiqueOf(4000.0f, 0.0f, 8, 1.0f, false)); }, 1},
      {"antique noise 0.1: silence",
       [] { return Distinct(AntiqueOf(4000.0f, 0.1f, 8, 1.0f, false)); }, 27},
      {"antique cutoff 1000 Hz: pole", [] { return Pole(1000.0f); }, 0.8672084808349609},
      {"antique cutoff 30000 Hz at 44100 Hz: 0.45 of the rate", [] { return Pole(30000.0f); },
       0.059164512902498245},
      {"reverb size 0.5: onset", [] { return Onset(Reverb(0.42f, 0.7f, 0.5, 1.0f)); }, 3766},
      {"reverb size 2: onset", [] { return Onset(Reverb(0.42f, 0.7f, 2.0, 1.0f)); }, 15072},
      {"reverb decay 0.5: first recirculation",
       [] { return double{Reverb(1.0f, 0.0f, 1.0, 0.5f)[7536 + 1493]}; }, 0.385f},
      {"reverb dry 0.25: frame 0", [] { return double{Reverb(1.0f, 0.25f, 1.0, 1.0f)[0]}; }, 0.25},
      {"distortion level 0.5: full drive",
       [] {
         DistortionState state{};
         InitDistortion(state, 2.5f, 1, 0.5f);
         return double{Processed(ProcessDistortion, state, std::vector<float>{1.0f})[0]};
       },
       0.3333333432674408},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.measure(), c.expected) << c.what;
}

}  // namespace
}  // namespace wavfx
