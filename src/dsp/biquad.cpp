#include "dsp/biquad.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "dsp/effect_math.h"
#include "dsp/fast_sine.h"
#include "dsp/sample_buffer.h"

namespace wavfx {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kLn2 = 0.6931471805599453;
constexpr double kOneOverLn10 = 0.4342944819032518;

// sin w for 0 <= w <= pi.
double SineOf(double w) {
  using namespace fast_sine;
  return SinPolynomial(w <= kHalfPi ? w : (kPiHigh - w) + kPiLow);
}

// sinh x for x >= 0: its series below 0.5, else (e^x - e^-x) / 2 with e^x = 10^(x / ln 10), which
// stops growing at 10^8.
double HyperbolicSine(double x) {
  if (x < 0.5) {
    const double z = x * x;
    const double series =
        1.0 + z * (1.0 / 6.0 +
                   z * (1.0 / 120.0 +
                        z * (1.0 / 5040.0 +
                             z * (1.0 / 362880.0 + z * (1.0 / 39916800.0 + z / 6227020800.0)))));
    return x * series;
  }
  const double e = TenToThe(std::min(x * kOneOverLn10, 8.0));
  return (e - 1.0 / e) * 0.5;
}

double AlphaOf(const BiquadDesign& d, double w0, double sinW, double a) {
  switch (d.widthKind) {
    case BiquadWidth::Hertz:
      return sinW / (2.0 * (d.frequency / d.width));
    case BiquadWidth::Octaves:
      return sinW * HyperbolicSine(kLn2 * 0.5 * d.width * (w0 / sinW));
    case BiquadWidth::Slope:
      return sinW * 0.5 * std::sqrt((a + 1.0 / a) * (1.0 / d.width - 1.0) + 2.0);
    default:
      return sinW / (2.0 * d.width);
  }
}

BiquadCoefficients Normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
  return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

}  // namespace

BiquadCoefficients DesignBiquad(const BiquadDesign& d) {
  const double w0 = kTwoPi * d.frequency / d.sampleRate;
  const double halfSine = fast_sine::SinPolynomial(w0 * 0.5);
  const double oneMinusCos = 2.0 * (halfSine * halfSine);
  const double c = 1.0 - oneMinusCos;
  const double sinW = SineOf(w0);
  const double a = TenToThe(d.gainDb / 40.0);
  const double alpha = AlphaOf(d, w0, sinW, a);
  switch (d.shape) {
    case BiquadShape::Lowpass:
      return Normalised(oneMinusCos * 0.5, oneMinusCos, oneMinusCos * 0.5, 1.0 + alpha, -2.0 * c,
                        1.0 - alpha);
    case BiquadShape::Highpass: {
      const double onePlusCos = 2.0 - oneMinusCos;
      return Normalised(onePlusCos * 0.5, -onePlusCos, onePlusCos * 0.5, 1.0 + alpha, -2.0 * c,
                        1.0 - alpha);
    }
    case BiquadShape::Bandpass:
      return Normalised(alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * c, 1.0 - alpha);
    case BiquadShape::BandpassSkirt:
      return Normalised(sinW * 0.5, 0.0, -sinW * 0.5, 1.0 + alpha, -2.0 * c, 1.0 - alpha);
    case BiquadShape::Bandreject:
      return Normalised(1.0, -2.0 * c, 1.0, 1.0 + alpha, -2.0 * c, 1.0 - alpha);
    case BiquadShape::Allpass:
      return Normalised(1.0 - alpha, -2.0 * c, 1.0 + alpha, 1.0 + alpha, -2.0 * c, 1.0 - alpha);
    case BiquadShape::Peaking:
      return Normalised(1.0 + alpha * a, -2.0 * c, 1.0 - alpha * a, 1.0 + alpha / a, -2.0 * c,
                        1.0 - alpha / a);
    case BiquadShape::LowShelf:
    case BiquadShape::HighShelf: {
      // The high shelf is the low shelf with cos w0 negated and b1, a1 changing sign.
      const double s = d.shape == BiquadShape::LowShelf ? 1.0 : -1.0;
      const double cs = c * s;
      const double root = 2.0 * std::sqrt(a) * alpha;
      const double ap = a + 1.0;
      const double am = a - 1.0;
      return Normalised(a * ((ap - am * cs) + root), s * (2.0 * a * (am - ap * cs)),
                        a * ((ap - am * cs) - root), (ap + am * cs) + root,
                        s * (-2.0 * (am + ap * cs)), (ap + am * cs) - root);
    }
  }
  return {1.0, 0.0, 0.0, 0.0, 0.0};
}

namespace {

BiquadMemory LoadMemory(const BiquadState& state, uint32_t channel) {
  if (state.wideMemory == nullptr) return state.inlineMemory[channel];
  BiquadMemory memory;
  std::memcpy(&memory, state.wideMemory + channel * (sizeof(BiquadMemory) / sizeof(float)),
              sizeof memory);
  return memory;
}

void StoreMemory(BiquadState& state, uint32_t channel, const BiquadMemory& memory) {
  if (state.wideMemory == nullptr) {
    state.inlineMemory[channel] = memory;
    return;
  }
  std::memcpy(state.wideMemory + channel * (sizeof(BiquadMemory) / sizeof(float)), &memory,
              sizeof memory);
}

// Outputs in silence decay into subnormal doubles, where x86 arithmetic is slow. Setting them to
// 0 changes no float output: any nonzero float input times a coefficient is above 2^-300, beside
// which they vanish in the rounding, and alone they round to a float 0.
void FlushSubnormal(double& value) {
  if (value > -DBL_MIN && value < DBL_MIN) value = 0.0;
}

// Frames between flushes, on fixed frames of the stream.
constexpr uint32_t kFlushPeriod = 4096;

void RunStereo(const BiquadCoefficients& c, BiquadMemory& left, BiquadMemory& right, float* samples,
               uint32_t frames) {
  for (uint32_t f = 0; f < frames; ++f, samples += 2) {
    samples[0] = static_cast<float>(BiquadStep(c, left, samples[0]));
    samples[1] = static_cast<float>(BiquadStep(c, right, samples[1]));
  }
}

void RunChannel(const BiquadCoefficients& c, BiquadMemory& memory, float* samples, uint32_t frames,
                uint32_t stride) {
  for (uint32_t f = 0; f < frames; ++f, samples += stride)
    *samples = static_cast<float>(BiquadStep(c, memory, *samples));
}

}  // namespace

bool InitBiquad(BiquadState& state, const BiquadDesign& design, uint32_t channels) {
  state = {};
  state.coefficients = DesignBiquad(design);
  state.channels = channels;
  if (channels > kInlineChannels) {
    state.wideMemory = AllocateSamples(uint64_t{channels} * (sizeof(BiquadMemory) / sizeof(float)));
  }
  return BiquadHasBuffers(state);
}

void ReleaseBiquad(BiquadState& state) {
  FreeSamples(state.wideMemory);
}

bool BiquadHasBuffers(const BiquadState& state) {
  return state.channels <= kInlineChannels || state.wideMemory != nullptr;
}

void ProcessBiquad(BiquadState& state, float* samples, int32_t frames) {
  const uint32_t channels = state.channels;
  if (frames <= 0 || channels == 0 || !BiquadHasBuffers(state)) return;
  const BiquadCoefficients c = state.coefficients;
  auto left = static_cast<uint32_t>(frames);
  while (left > 0) {
    const uint32_t run = std::min(left, kFlushPeriod - state.sinceFlush);
    if (channels == 2) {
      BiquadMemory first = state.inlineMemory[0];
      BiquadMemory second = state.inlineMemory[1];
      RunStereo(c, first, second, samples, run);
      state.inlineMemory[0] = first;
      state.inlineMemory[1] = second;
    } else {
      for (uint32_t channel = 0; channel < channels; ++channel) {
        BiquadMemory memory = LoadMemory(state, channel);
        RunChannel(c, memory, samples + channel, run, channels);
        StoreMemory(state, channel, memory);
      }
    }
    samples += static_cast<std::size_t>(run) * channels;
    left -= run;
    state.sinceFlush += run;
    if (state.sinceFlush == kFlushPeriod) {
      for (uint32_t channel = 0; channel < channels; ++channel) {
        BiquadMemory memory = LoadMemory(state, channel);
        FlushSubnormal(memory.y1);
        FlushSubnormal(memory.y2);
        StoreMemory(state, channel, memory);
      }
      state.sinceFlush = 0;
    }
  }
}

void CarryBiquad(const BiquadState& from, BiquadState& to) {
  if (from.channels != to.channels || !BiquadHasBuffers(from) || !BiquadHasBuffers(to)) return;
  for (uint32_t channel = 0; channel < to.channels; ++channel)
    StoreMemory(to, channel, LoadMemory(from, channel));
  to.sinceFlush = from.sinceFlush;
}

}  // namespace wavfx
