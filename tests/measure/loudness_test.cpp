// The EBU conformance cases (Tech 3341 and 3342), synthesised: 1 kHz sines at 48 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "measure/meter.h"

namespace wavfx {
namespace {

constexpr uint32_t kRate = 48000;

// A stretch of 1 kHz sine at `db` dBFS peak on the given channels (NaN: silent channel).
struct Tone {
  double seconds;
  std::vector<double> db;
};

std::vector<float> Synthesise(const std::vector<Tone>& tones, uint32_t channels) {
  std::vector<float> samples;
  std::size_t n = 0;
  for (const Tone& tone : tones) {
    const auto frames = static_cast<std::size_t>(std::llround(tone.seconds * kRate));
    std::vector<double> gains;
    for (uint32_t c = 0; c < channels; ++c) {
      const double db = tone.db[c % tone.db.size()];
      gains.push_back(std::isnan(db) ? 0.0 : std::pow(10.0, db / 20.0));
    }
    for (std::size_t f = 0; f < frames; ++f, ++n) {
      const double s = std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(n) / kRate);
      for (const double gain : gains)
        samples.push_back(static_cast<float>(gain * s));
    }
  }
  return samples;
}

// Repeats tones `times` times.
std::vector<Tone> Repeat(const std::vector<Tone>& tones, int times) {
  std::vector<Tone> out;
  for (int i = 0; i < times; ++i)
    out.insert(out.end(), tones.begin(), tones.end());
  return out;
}

// A tone burst of `seconds` whose loudness over `window` seconds is `lufs`, between silences.
std::vector<Tone> Burst(double seconds, double window, double lufs) {
  const double db = lufs + 10.0 * std::log10(window / seconds);
  return {{1.0, {NAN}}, {seconds, {db}}, {4.0, {NAN}}};
}

Meter Measure(const std::vector<float>& samples, uint32_t channels) {
  Meter meter;
  InitMeter(meter, channels, kRate, {});
  // Cut into uneven blocks: the results must not depend on it.
  const std::size_t frames = samples.size() / channels;
  for (std::size_t at = 0, step = 1; at < frames; step = step * 7 % 9973 + 1) {
    const std::size_t count = std::min(step, frames - at);
    MeterFloats(meter, samples.data() + at * channels, count);
    at += count;
  }
  return meter;
}

struct Case {
  const char* name;
  std::vector<Tone> tones;
  uint32_t channels;
  double integrated, momentaryMax, shortTermMax, range;  // NaN: not checked
  double tolerance;
};

const double kNo = NAN;
const double kSilent = NAN;

TEST(Loudness, MeetsTheEbuConformanceCases) {
  const std::vector<Case> cases = {
      {"3341-1", {{20, {-23}}}, 2, -23, -23, -23, kNo, 0.01},
      {"3341-2", {{20, {-33}}}, 2, -33, -33, -33, kNo, 0.01},
      {"3341-3", {{10, {-36}}, {60, {-23}}, {10, {-36}}}, 2, -23, kNo, kNo, kNo, 0.1},
      {"3341-4",
       {{10, {-72}}, {10, {-36}}, {60, {-23}}, {10, {-36}}, {10, {-72}}},
       2,
       -23,
       kNo,
       kNo,
       kNo,
       0.1},
      {"3341-5", {{20, {-26}}, {20.1, {-20}}, {20, {-26}}}, 2, -23, kNo, kNo, kNo, 0.1},
      {"3341-6", {{20, {-28, -28, -24, kSilent, -30, -30}}}, 6, -23, kNo, kNo, kNo, 0.1},
      {"3341-6 without the LFE", {{20, {-28, -28, -24, -30, -30}}}, 5, -23, kNo, kNo, kNo, 0.1},
      {"3341-9", Repeat({{1.34, {-20}}, {1.66, {-30}}}, 5), 2, kNo, kNo, -23, kNo, 0.1},
      {"3341-12", Repeat({{0.18, {-20}}, {0.22, {-30}}}, 25), 2, kNo, -23, kNo, kNo, 0.1},
      {"3342-1", {{20, {-20}}, {20, {-30}}}, 2, kNo, kNo, kNo, 10, 1},
      {"3342-2", {{20, {-20}}, {20, {-15}}}, 2, kNo, kNo, kNo, 5, 1},
      {"3342-3", {{20, {-40}}, {20, {-20}}}, 2, kNo, kNo, kNo, 20, 1},
      {"3342-4",
       {{20, {-50}}, {20, {-35}}, {20, {-20}}, {20, {-35}}, {20, {-50}}},
       2,
       kNo,
       kNo,
       kNo,
       15,
       1},
  };
  for (const Case& c : cases) {
    const Meter meter = Measure(Synthesise(c.tones, c.channels), c.channels);
    const LoudnessSummary s = SummariseLoudness(meter.loudness);
    const auto expect = [&](double got, double want, const char* what) {
      if (!std::isnan(want)) {
        EXPECT_NEAR(got, want, c.tolerance) << c.name << " " << what;
      }
    };
    expect(s.integrated, c.integrated, "integrated");
    expect(s.momentaryMax, c.momentaryMax, "momentary max");
    expect(s.shortTermMax, c.shortTermMax, "short-term max");
    expect(s.range, c.range, "range");
  }
}

// Cases 15 to 19: sines at fs/4, fs/6 and fs/8 whose samples miss their peaks by the phase,
// faded in over 100 ms.
TEST(Loudness, FindsTheTruePeaksOfTheEbuCases) {
  struct Peak {
    double cycle, phaseDegrees, amplitudeDb, truePeak;
  };
  const Peak cases[] = {
      {4, 0, -6, -6}, {4, 45, -6, -6}, {6, 60, -6, -6}, {8, 67.5, -6, -6}, {4, 45, 3.01, 3.01},
  };
  for (const Peak& p : cases) {
    std::vector<float> samples;
    const double amplitude = std::pow(10.0, p.amplitudeDb / 20.0);
    for (uint32_t n = 0; n < kRate; ++n) {
      const double phase =
          2.0 * std::numbers::pi * n / p.cycle + p.phaseDegrees * std::numbers::pi / 180.0;
      const double fadeIn = std::min(1.0, n / 4800.0);  // a sine switched on would ring
      samples.push_back(static_cast<float>(fadeIn * amplitude * std::sin(phase)));
      samples.push_back(samples.back());
    }
    const MeterReport report = ReportMeter(Measure(samples, 2));
    EXPECT_LE(report.truePeak, p.truePeak + 0.2) << p.cycle << " " << p.phaseDegrees;
    EXPECT_GE(report.truePeak, p.truePeak - 0.4) << p.cycle << " " << p.phaseDegrees;
  }
}

// Cases 9 and 12 hold their loudness constant once a window spans a period; 10, 11, 13 and 14
// are bursts whose maximum over the window is set.
TEST(Loudness, HoldsWindowsAndMaximaOfTheEbuCases) {
  const auto steady = [](const std::vector<double>& values, std::size_t from, double want) {
    for (std::size_t i = from; i < values.size(); ++i)
      ASSERT_NEAR(LoudnessOf(values[i]), want, 0.1) << i;
  };
  steady(Measure(Synthesise(Repeat({{1.34, {-20}}, {1.66, {-30}}}, 5), 2), 2).loudness.shortTerm, 0,
         -23);
  steady(Measure(Synthesise(Repeat({{0.18, {-20}}, {0.22, {-30}}}, 25), 2), 2).loudness.momentary,
         6, -23);
  for (const double seconds : {3.0, 2.0, 1.0, 0.5, 0.4, 0.3, 0.2, 0.1}) {
    for (const double lufs : {-38.0, -23.0, -19.0}) {
      const auto shortTerm = Measure(Synthesise(Burst(seconds, 3.0, lufs), 2), 2);
      EXPECT_NEAR(SummariseLoudness(shortTerm.loudness).shortTermMax, lufs, 0.1) << seconds;
      if (seconds > 0.4) continue;
      const auto momentary = Measure(Synthesise(Burst(seconds, 0.4, lufs), 2), 2);
      EXPECT_NEAR(SummariseLoudness(momentary.loudness).momentaryMax, lufs, 0.1) << seconds;
    }
  }
}

}  // namespace
}  // namespace wavfx
