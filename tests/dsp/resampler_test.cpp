#include "dsp/resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

struct Rates {
  uint64_t in;
  uint64_t out;
};

constexpr Rates kRates[] = {{44100, 48000}, {48000, 44100}, {96000, 44100},    {16000, 48000},
                            {48000, 16000}, {44100, 44101}, {999999, 1000000}, {1000, 256000},
                            {256000, 1000}, {7, 5}};

// Runs `in` through a fresh resampler in blocks of random size and random output room (seed 0:
// the whole input and room for everything at once), then drains it.
std::vector<float> Convert(Rates rates, uint32_t channels, ResampleQuality q,
                           const std::vector<float>& in, uint32_t seed) {
  Resampler r;
  EXPECT_TRUE(InitResampler(r, rates.in, rates.out, channels, q));
  std::mt19937 random(seed);
  const std::size_t frames = in.size() / channels;
  std::vector<float> out((frames * rates.out / rates.in + 2) * channels + 64);
  std::size_t at = 0;
  std::size_t written = 0;
  auto room = [&] {
    const std::size_t left = out.size() / channels - written;
    return seed == 0 ? left : std::min<std::size_t>(left, random() % 300);
  };
  while (at < frames) {
    const std::size_t offer =
        seed == 0 ? frames - at : std::min<std::size_t>(frames - at, random() % 700);
    std::size_t used = 0;
    std::size_t made = 0;
    RunResampler(r, in.data() + at * channels, offer, out.data() + written * channels, room(), used,
                 made);
    at += used;
    written += made;
    // With room for everything, all that is held back is the latency.
    if (seed == 0) {
      EXPECT_EQ(written + ResamplerLatency(r), ResampledLength(r, at));
    }
  }
  while (std::size_t made = DrainResampler(r, out.data() + written * channels, room() + 1)) {
    written += made;
  }
  ReleaseResampler(r);
  ReleaseResampler(r);
  out.resize(written * channels);
  return out;
}

std::vector<float> Noise(std::size_t count) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> values(count);
  for (float& v : values)
    v = value(random);
  return values;
}

TEST(Resampler, WritesRoundedLengthForEveryInputLength) {
  for (const Rates rates : kRates) {
    for (const std::size_t frames : {0, 1, 2, 3, 7, 100, 4801}) {
      const auto out = Convert(rates, 1, ResampleQuality::Low, Noise(frames), 0);
      const uint64_t due = (2 * frames * rates.out + rates.in) / (2 * rates.in);
      EXPECT_EQ(out.size(), due) << rates.in << " -> " << rates.out << ", " << frames;
    }
  }
}

TEST(Resampler, RefusesRatiosOutOfRange) {
  Resampler r;
  EXPECT_FALSE(InitResampler(r, 1000, 256001, 1, ResampleQuality::High));
  EXPECT_FALSE(InitResampler(r, 0, 48000, 1, ResampleQuality::High));
  EXPECT_FALSE(InitResampler(r, 48000, 44100, 0, ResampleQuality::High));
}

TEST(Resampler, BitsIndependentOfBlocksRoomAndVectorPath) {
  for (const Rates rates : kRates) {
    // Steep upsampling makes a long output of a short input.
    const auto in = Noise(3 * (rates.out > 8 * rates.in ? 50 : 800));
    for (const auto q : {ResampleQuality::High, ResampleQuality::VeryHigh}) {
      ResetVectorPathForTesting();
      const auto whole = Convert(rates, 3, q, in, 0);
      for (const VectorPath path : {VectorPath::Scalar, VectorPath::Avx2, VectorPath::Avx512}) {
        if (!VectorPathAvailable(path)) continue;
        SetVectorPathForTesting(path);
        const auto split = Convert(rates, 3, q, in, 1 + static_cast<uint32_t>(path));
        ASSERT_EQ(split.size(), whole.size());
        EXPECT_EQ(std::memcmp(split.data(), whole.data(), whole.size() * sizeof(float)), 0)
            << rates.in << " -> " << rates.out << " path " << static_cast<int>(path);
      }
    }
  }
  ResetVectorPathForTesting();
}

// Tables are shared by design: two rate-lowering ratios with tables of the same size but other
// cutoffs must each keep their own filter, whichever was made first.
TEST(Resampler, RatiosOfOtherCutoffsDoNotShareATable) {
  const auto in = Noise(2000);
  const Rates first{48001, 44100};
  const Rates second{48007, 44100};
  const auto alone = Convert(first, 1, ResampleQuality::High, in, 0);
  for (uint64_t o = 3; o < 15; ++o)  // more unused tables than are kept
    Convert({o - 1, o}, 1, ResampleQuality::High, Noise(64), 0);
  Convert(second, 1, ResampleQuality::High, in, 0);
  EXPECT_EQ(Convert(first, 1, ResampleQuality::High, in, 0), alone);
}

// Interpolated phases, once mixed, are kept and shared: the first stream at a ratio mixes its
// first 2 O frames' phases itself, the later ones (here two at once) read the kept ones.
TEST(Resampler, KeptMixedPhasesGiveTheSameBits) {
  const Rates rates{4999, 5000};
  const auto in = Noise(16000);
  const auto first = Convert(rates, 1, ResampleQuality::High, in, 0);
  std::vector<float> later[2];
  std::thread other([&] { later[1] = Convert(rates, 1, ResampleQuality::High, in, 3); });
  later[0] = Convert(rates, 1, ResampleQuality::High, in, 0);
  other.join();
  EXPECT_EQ(later[0], first);
  EXPECT_EQ(later[1], first);
}

std::vector<float> Tone(double frequency, double rate, std::size_t frames) {
  std::vector<float> values(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    values[i] =
        static_cast<float>(std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / rate));
  }
  return values;
}

TEST(Resampler, LowToneComesOutInPhase) {
  const auto out = Convert({44100, 48000}, 1, ResampleQuality::High, Tone(441.0, 44100, 44100), 0);
  const auto expected = Tone(441.0, 48000, out.size());
  for (std::size_t i = 1000; i + 1000 < out.size(); ++i)
    ASSERT_NEAR(out[i], expected[i], 1e-5);
}

// The amplitude of `frequency` in the middle of `values`, through a Hann window.
double Amplitude(const std::vector<float>& values, double frequency, double rate) {
  const std::size_t start = values.size() / 4;
  const std::size_t count = values.size() / 2;
  double re = 0.0, im = 0.0, weights = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const double w =
        0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(count));
    const double phase = 2.0 * M_PI * frequency * static_cast<double>(start + i) / rate;
    re += w * values[start + i] * std::cos(phase);
    im += w * values[start + i] * std::sin(phase);
    weights += w;
  }
  return 2.0 * std::hypot(re, im) / weights;
}

double Decibels(double amplitude) {
  return 20.0 * std::log10(amplitude + 1e-30);
}

TEST(Resampler, PassbandFlatImagesAndAliasesRejected) {
  struct Case {
    ResampleQuality q;
    double passband;   // of the lower Nyquist frequency
    double rejection;  // dB
  };
  const Case cases[] = {{ResampleQuality::Low, 0.7, 70.0},
                        {ResampleQuality::Medium, 0.8, 100.0},
                        {ResampleQuality::High, 0.9, 125.0},
                        {ResampleQuality::VeryHigh, 0.95, 150.0}};
  // 48001 and 31999 take interpolated phases, 48000 and 32000 exact ones.
  for (const uint64_t odd : {0, 1}) {
    for (const Case& c : cases) {
      const double f = c.passband * 16000.0;
      const Rates upRates{32000, 48000 + odd};
      const auto up = Convert(upRates, 1, c.q, Tone(f, 32000, 32000), 0);
      const auto upRate = static_cast<double>(upRates.out);
      EXPECT_NEAR(Decibels(Amplitude(up, f, upRate)), 0.0, 0.01) << static_cast<int>(c.q);
      EXPECT_LT(Decibels(Amplitude(up, 32000 - f, upRate)), -c.rejection) << static_cast<int>(c.q);
      const Rates downRates{48000, 32000 - odd};
      const auto down = Convert(downRates, 1, c.q, Tone(16160, 48000, 48000), 0);
      const auto downRate = static_cast<double>(downRates.out);
      EXPECT_LT(Decibels(Amplitude(down, downRate - 16160, downRate)), -c.rejection);
      // Below half the rate a half-band decimator goes first (but for VeryHigh): 17 kHz would
      // fold to 7 kHz in its output.
      const Rates lowRates{48000, 16000 - odd};
      const auto lowRate = static_cast<double>(lowRates.out);
      const double g = c.passband * 0.5 * lowRate;
      const auto flat = Convert(lowRates, 1, c.q, Tone(g, 48000, 48000), 0);
      EXPECT_NEAR(Decibels(Amplitude(flat, g, lowRate)), 0.0, 0.01) << static_cast<int>(c.q);
      const auto folded = Convert(lowRates, 1, c.q, Tone(17000, 48000, 48000), 0);
      EXPECT_LT(Decibels(Amplitude(folded, 7000, lowRate)), -c.rejection);
    }
  }
}

}  // namespace
}  // namespace wavfx
