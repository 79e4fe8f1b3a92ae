#include "dsp/oscillator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "dsp/effect_math.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

// The most frames whose phases are held at a time.
constexpr std::size_t kChunkFrames = 256;

// Runs shorter than this are stepped one frame at a time; longer ones are cut.
constexpr std::size_t kShortestRun = 8;
constexpr double kLongestRun = 1 << 20;

// While a phase stays within one binade [2^e, 2^(e+1)), where floats are spaced u apart, adding
// the increment and rounding adds the same step every frame: the increment rounded to a
// multiple of u, unless it lies exactly half-way between two (then the rounding goes to the
// even neighbour, which changes from frame to frame). Phases of such a run are phase + k * step,
// exact in float. Returns how many frames from `phase` on advance by `step` without leaving
// the binade or wrapping, at most `limit`; 0 when no run can be proven.
std::size_t ConstantStepRun(float phase, float increment, std::size_t limit, float& step) {
  if (!(phase >= 0x1p-100f && phase <= kTwoPiFloat && increment > 0.0f &&
        increment <= kTwoPiFloat)) {
    return 0;
  }
  int exponent = 0;
  std::frexp(phase, &exponent);  // phase in [2^(exponent - 1), 2^exponent)
  const double binadeEnd = std::ldexp(1.0, exponent);
  const double spacing = std::ldexp(1.0, exponent - 24);
  const double units = static_cast<double>(increment) / spacing;  // exact: a power of 2
  const double whole = std::floor(units);
  const double fraction = units - whole;
  if (fraction == 0.5) return 0;
  const double stepDouble = (fraction < 0.5 ? whole : whole + 1.0) * spacing;
  step = static_cast<float>(stepDouble);
  if (stepDouble == 0.0) return std::min(limit, static_cast<std::size_t>(kLongestRun));
  // Frame k of the run advances by the step while k < (binadeEnd - increment - phase) / step
  // and k + 1 <= (kTwoPiFloat - phase) / step. The last such k, less one for the rounding of
  // the quotients, plus one is the run's length.
  const double p = static_cast<double>(phase);
  const double lastInBinade =
      std::floor((binadeEnd - static_cast<double>(increment) - p) / stepDouble) - 1.0;
  const double lastBeforeWrap =
      std::floor((static_cast<double>(kTwoPiFloat) - p) / stepDouble) - 2.0;
  const double frames = std::fmin(lastInBinade, lastBeforeWrap) + 1.0;
  if (!(frames >= 1.0)) return 0;
  const double longest = std::fmin(static_cast<double>(limit), kLongestRun);
  return frames < longest ? static_cast<std::size_t>(frames) : static_cast<std::size_t>(longest);
}

}  // namespace

void AdvancePhases(float& phase, float increment, float* phases, std::size_t count) {
  std::size_t i = 0;
  while (i < count) {
    float step = 0.0f;
    const std::size_t run = ConstantStepRun(phase, increment, count - i, step);
    if (run < kShortestRun) {
      for (const std::size_t end = std::min(count, i + kShortestRun); i < end; ++i) {
        phases[i] = phase;
        phase = AdvancePhase(phase, increment);
      }
      continue;
    }
    // Frame numbers within the run are exact in float, runs being shorter than 2^24 frames.
    // Four at a time keeps the additions of the frame numbers off a chain.
    const float start = phase;
    float k = 0.0f;
    std::size_t j = 0;
    for (; j + 4 <= run; j += 4, k += 4.0f) {
      phases[i + j] = start + k * step;
      phases[i + j + 1] = start + (k + 1.0f) * step;
      phases[i + j + 2] = start + (k + 2.0f) * step;
      phases[i + j + 3] = start + (k + 3.0f) * step;
    }
    for (; j < run; ++j, k += 1.0f) {
      phases[i + j] = start + k * step;
    }
    phase = start + k * step;
    i += run;
  }
}

void InitOscillator(Oscillator& oscillator, float rateHz, int32_t sampleRate) {
  oscillator.phase = 0.0f;
  oscillator.increment = static_cast<float>(static_cast<double>(rateHz) * 6.283185307179586 /
                                            static_cast<double>(sampleRate));
}

namespace {

template <bool kHalf>
void OscillatorValues(Oscillator& oscillator, float* values, std::size_t count) {
  const VectorKernels* kernels = ActiveKernels();
  float phases[kChunkFrames];
  for (std::size_t done = 0; done < count;) {
    const std::size_t chunk = std::min(kChunkFrames, count - done);
    AdvancePhases(oscillator.phase, oscillator.increment, phases, chunk);
    float* out = values + done;
    if (kernels != nullptr) {
      (kHalf ? kernels->halfSinePlusOne : kernels->sinePlusOne)(phases, out, chunk);
    } else {
      for (std::size_t i = 0; i < chunk; ++i)
        out[i] = kHalf ? HalfSinePlusOne(phases[i]) : SinePlusOne(phases[i]);
    }
    done += chunk;
  }
}

}  // namespace

void SinePlusOneValues(Oscillator& oscillator, float* values, std::size_t count) {
  OscillatorValues<false>(oscillator, values, count);
}

void HalfSinePlusOneValues(Oscillator& oscillator, float* values, std::size_t count) {
  OscillatorValues<true>(oscillator, values, count);
}

}  // namespace wavfx
