// Every two-pole family's measured magnitude response against its design, from 20 Hz to 0.45 of
// the rate at the common rates.
#include "dsp/biquad.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

using Long = long double;

struct Family {
  const char* settings;  // the chain up to its frequency
  const char* frequencyKey;
  BiquadDesign design;  // all but frequency and rate
};

constexpr Long kPi = 3.14159265358979323846264338327950288L;

// The cookbook's section in long double, straight from its formulas: b0, b1, b2, a0, a1, a2.
std::vector<Long> Cookbook(const BiquadDesign& d) {
  const Long w0 = 2 * kPi * d.frequency / d.sampleRate, c = std::cos(w0), s = std::sin(w0);
  const Long a = std::pow(10.0L, static_cast<Long>(d.gainDb) / 40);
  const Long width = d.width;
  Long alpha = s / (2 * width);
  if (d.widthKind == BiquadWidth::Hertz) alpha = s / (2 * (d.frequency / width));
  if (d.widthKind == BiquadWidth::Octaves)
    alpha = s * std::sinh(std::log(2.0L) / 2 * width * w0 / s);
  if (d.widthKind == BiquadWidth::Slope)
    alpha = s / 2 * std::sqrt((a + 1 / a) * (1 / width - 1) + 2);
  const Long r = 2 * std::sqrt(a) * alpha;
  switch (d.shape) {
    case BiquadShape::Lowpass:
      return {(1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha};
    case BiquadShape::Highpass:
      return {(1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha};
    case BiquadShape::Bandpass:
      return {alpha, 0, -alpha, 1 + alpha, -2 * c, 1 - alpha};
    case BiquadShape::BandpassSkirt:
      return {s / 2, 0, -s / 2, 1 + alpha, -2 * c, 1 - alpha};
    case BiquadShape::Bandreject:
      return {1, -2 * c, 1, 1 + alpha, -2 * c, 1 - alpha};
    case BiquadShape::Allpass:
      return {1 - alpha, -2 * c, 1 + alpha, 1 + alpha, -2 * c, 1 - alpha};
    case BiquadShape::Peaking:
      return {1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a};
    case BiquadShape::LowShelf:
      return {a * ((a + 1) - (a - 1) * c + r), 2 * a * ((a - 1) - (a + 1) * c),
              a * ((a + 1) - (a - 1) * c - r), (a + 1) + (a - 1) * c + r,
              -2 * ((a - 1) + (a + 1) * c),    (a + 1) + (a - 1) * c - r};
    case BiquadShape::HighShelf:
      return {a * ((a + 1) + (a - 1) * c + r), -2 * a * ((a - 1) + (a + 1) * c),
              a * ((a + 1) + (a - 1) * c - r), (a + 1) - (a - 1) * c + r,
              2 * ((a - 1) - (a + 1) * c),     (a + 1) - (a - 1) * c - r};
  }
  return {1, 0, 0, 1, 0, 0};
}

Long DecibelsOf(const std::vector<Long>& k, Long w) {
  const std::complex<Long> z1 = std::polar(1.0L, -w), z2 = z1 * z1;
  return 20 * std::log10(std::abs((k[0] + k[1] * z1 + k[2] * z2) / (k[3] + k[4] * z1 + k[5] * z2)));
}

TEST(BiquadResponse, MeasuredWithinAHundredthOfADecibelOfTheDesign) {
  using S = BiquadShape;
  using W = BiquadWidth;
  const Family families[] = {
      {"lowpass=poles=2", "cutoff", {S::Lowpass, 0, 0, 0, W::Q, 0.707106769084930419921875}},
      {"lowpass=poles=2:q=3", "cutoff", {S::Lowpass, 0, 0, 0, W::Q, 3}},
      {"highpass=poles=2", "cutoff", {S::Highpass, 0, 0, 0, W::Q, 0.707106769084930419921875}},
      {"bandpass=q=2", "frequency", {S::Bandpass, 0, 0, 0, W::Q, 2}},
      {"bandpass=width=1:unit=octaves:peak=skirt",
       "frequency",
       {S::BandpassSkirt, 0, 0, 0, W::Octaves, 1}},
      {"bandreject=width=2:unit=octaves", "frequency", {S::Bandreject, 0, 0, 0, W::Octaves, 2}},
      {"allpass=q=0.5", "frequency", {S::Allpass, 0, 0, 0, W::Q, 0.5}},
      {"equalizer=q=1.5:gain=9", "frequency", {S::Peaking, 0, 0, 9, W::Q, 1.5}},
      {"equalizer=width=0.5:unit=octaves:gain=-12",
       "frequency",
       {S::Peaking, 0, 0, -12, W::Octaves, 0.5}},
      {"bass=gain=10", "frequency", {S::LowShelf, 0, 0, 10, W::Slope, 0.5}},
      {"bass=gain=-8:slope=1", "frequency", {S::LowShelf, 0, 0, -8, W::Slope, 1}},
      {"treble=gain=6:width=0.8:unit=q", "frequency", {S::HighShelf, 0, 0, 6, W::Q, 0.8}},
  };
  for (const Family& family : families) {
    for (const uint32_t rate : {44100u, 48000u, 96000u, 192000u}) {
      for (const double frequency : {20.0, 50.0, 1000.0, rate * 0.25, rate * 0.45}) {
        BiquadDesign design = family.design;
        design.frequency = frequency;
        design.sampleRate = rate;
        const std::string chain = std::string(family.settings) + ":" + family.frequencyKey + "=" +
                                  std::to_string(frequency);
        const BiquadCoefficients c = DesignBiquad(design);
        const std::vector<Long> designed = {c.b0, c.b1, c.b2, 1, c.a1, c.a2};
        const std::vector<Long> cookbook = Cookbook(design);
        // The impulse response, until the poles' decay has taken it below 1e-13.
        const Long a1 = c.a1, a2 = c.a2, disc = a1 * a1 - 4 * a2;
        const Long radius = disc < 0 ? std::sqrt(a2)
                                     : (std::fabs(a1) + std::sqrt(disc)) / 2;  // the larger pole
        const auto frames = static_cast<std::size_t>(30 / -std::log(radius)) + 64;
        std::vector<float> response(frames, 0.0f);
        response[0] = 1.0f;
        wavfx_error error;
        wavfx_effect* effect = wavfx_chain_create(chain.c_str(), 1, rate, &error);
        ASSERT_NE(effect, nullptr) << chain << ": " << error.message;
        wavfx_effect_process_float(effect, response.data(), static_cast<int32_t>(frames));
        wavfx_effect_destroy(effect);
        for (const double ratio : {0.25, 0.5, 0.8, 1.0, 1.25, 2.0, 4.0}) {
          const Long w = 2 * kPi * (frequency * ratio) / rate;
          if (w >= kPi * 0.999L) continue;
          const Long expected = DecibelsOf(cookbook, w);
          if (expected < -60) continue;  // far down a skirt or in a notch
          std::complex<Long> sum = 0, turn = 1;
          const std::complex<Long> step = std::polar(1.0L, -w);
          for (std::size_t n = 0; n < frames; ++n, turn *= step)
            sum += static_cast<Long>(response[n]) * turn;
          const Long measured = 20 * std::log10(std::abs(sum));
          const auto fromDesign = static_cast<double>(measured - DecibelsOf(designed, w));
          const auto fromCookbook = static_cast<double>(measured - expected);
          ASSERT_LE(std::fabs(fromDesign), 0.01) << chain << " rate " << rate << " at x" << ratio;
          ASSERT_LE(std::fabs(fromCookbook), 0.01) << chain << " rate " << rate << " at x" << ratio;
        }
      }
    }
  }
}

}  // namespace
}  // namespace wavfx
