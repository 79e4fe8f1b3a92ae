// The families that change the stream's length or channels, and the gain, through their rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "dsp/effect_math.h"
#include "effects/channels.h"
#include "effects/compand.h"
#include "effects/fade.h"
#include "effects/gain.h"
#include "effects/pad.h"
#include "effects/phaser.h"
#include "effects/remix.h"
#include "effects/resample.h"
#include "effects/tempo.h"
#include "effects/trim.h"

namespace wavfx {
namespace {

using Bytes = std::vector<unsigned char>;
constexpr uint32_t kRate = 10;

struct Settings {
  const EffectFamily* family;
  std::vector<double> values;  // in the family's order; the rest at their defaults
  uint32_t frames = 0;         // bit i: values[i] counts frames
  std::string_view map = "";   // the text parameters' texts, each ended by a NUL
};

StageValues ValuesOf(const Settings& s) {
  StageValues v{};
  for (std::size_t i = 0; i < s.family->info.parameter_count; ++i) {
    v.values[i] = i < s.values.size() ? s.values[i] : s.family->info.parameters[i].default_value;
  }
  v.samples = s.frames;
  s.map.copy(v.text, kMaxStageText - 1);
  return v;
}

// One stage's record, set up for its settings and released at the end.
struct Stage {
  const FamilyOps& ops;
  StreamShape out;
  std::vector<std::max_align_t> record;
  Stage(const Settings& s, uint32_t channels, uint32_t rate = kRate)
      : ops(s.family->ops),
        out(ops.shape(ValuesOf(s), {channels, rate})),
        record(ops.stateSize / sizeof(std::max_align_t) + 1) {
    // Zero-filled as the engine fills it: max_align_t's value leaves its padding bytes alone.
    std::memset(static_cast<void*>(record.data()), 0, record.size() * sizeof(std::max_align_t));
    ops.init(record.data(), ValuesOf(s), {channels, rate});
  }
  ~Stage() {
    if (ops.release != nullptr) ops.release(record.data());
  }
};

// The stage's output for `input` (samples `width` bytes wide), given at once or, with `random`,
// in random pieces to random room.
Bytes RunStage(const Settings& s, uint32_t channels, const Bytes& input, std::size_t width,
               std::mt19937* random = nullptr, uint32_t rate = kRate) {
  Stage stage(s, channels, rate);
  const std::size_t inFrame = channels * width, outFrame = stage.out.channels * width;
  const std::size_t frames = input.size() / inFrame;
  Bytes out;
  auto pick = [&](std::size_t low, std::size_t high) {
    return std::uniform_int_distribution<std::size_t>(low, high)(*random);
  };
  std::size_t at = 0;
  for (std::size_t stalls = 0; at < frames && stalls < 1000;) {
    const std::size_t take = random != nullptr ? std::min(pick(0, 37), frames - at) : frames - at;
    Bytes piece((random != nullptr ? pick(0, 41) : frames + 64) * outFrame);
    std::size_t used = 0, made = 0;
    stage.ops.flow(stage.record.data(), input.data() + at * inFrame, take, piece.data(),
                   piece.size() / outFrame, width, used, made);
    EXPECT_LE(used, take);
    EXPECT_LE(made * outFrame, piece.size());
    out.insert(out.end(), piece.begin(),
               piece.begin() + static_cast<std::ptrdiff_t>(made * outFrame));
    stalls = used + made == 0 ? stalls + 1 : 0;
    at += used;
  }
  EXPECT_EQ(at, frames) << "stalled";
  for (;;) {
    Bytes piece((random != nullptr ? pick(1, 41) : 64) * outFrame);
    const std::size_t made =
        stage.ops.drain(stage.record.data(), piece.data(), piece.size() / outFrame, width);
    if (made == 0) break;
    out.insert(out.end(), piece.begin(),
               piece.begin() + static_cast<std::ptrdiff_t>(made * outFrame));
  }
  return out;
}

template <typename T>
Bytes AsBytes(const std::vector<T>& values) {
  Bytes bytes(values.size() * sizeof(T));
  if (!bytes.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

struct Case {
  Settings settings;
  uint32_t channels;
  std::vector<float> input;
  std::vector<float> expected;
  uint32_t rate = kRate;
  bool lengthOnly = false;  // the output is as long as the input
};

const std::vector<float> kOneToTen = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const std::vector<float> kOnes = {1, 1, 1, 1, 1, 1, 1, 1};
using std::string_view_literals::operator""sv;
// Envelopes that follow |x| at once; gains of 0 dB up to -40 dB, falling to -20 dB at 0 dB.
constexpr std::string_view kInstant = "0/0\0-40/-40/0/-20"sv;

const Case kCases[] = {
    {{&kTrimFamily, {0.2, 0.5}}, 1, kOneToTen, {3, 4, 5}},
    {{&kTrimFamily, {3, 0, 2}, 0b101}, 1, kOneToTen, {4, 5}},
    {{&kTrimFamily, {0.25}}, 1, kOneToTen, {4, 5, 6, 7, 8, 9, 10}},  // 2.5 frames: halves up
    {{&kTrimFamily, {2}}, 1, kOneToTen, {}},
    {{&kTrimFamily, {1, 2}, 0b11}, 2, {1, 2, 3, 4, 5, 6}, {3, 4}},
    {{&kPadFamily, {0.2, 1}, 0b10}, 1, {1, 2}, {0, 0, 1, 2, 0}},
    {{&kPadFamily, {1, 1}, 0b11}, 1, {}, {0, 0}},
    {{&kFadeFamily, {0.4}}, 1, kOnes, {0, 0.25f, 0.5f, 0.75f, 1, 1, 1, 1}},
    {{&kFadeFamily, {0, 0.4}}, 1, kOnes, {1, 1, 1, 1, 0.75f, 0.5f, 0.25f, 0}},
    {{&kFadeFamily, {0, 4, 0}, 0b10}, 1, {1, 1}, {0.25f, 0}},  // shorter than its fade-out
    {{&kFadeFamily, {4, 4}, 0b11}, 1, {1, 1, 1, 1}, {0, 0.125f, 0.125f, 0}},
    {{&kFadeFamily, {4, 0, 4}, 0b1}, 1, {1, 1, 1, 1}, {0, 0.4375f, 0.75f, 0.9375f}},
    {{&kFadeFamily, {0.2, 0, 1}}, 1, {1, 1}, {0, 0.70710677f}},
    {{&kFadeFamily, {0.2, 0, 2}}, 1, {2, 2}, {0, 1}},
    {{&kFadeFamily, {0, 0.2, 3}}, 1, {1, 1}, {0.0031622776f, 1e-5f}},
    {{&kFadeFamily, {0.2, 0.2}}, 2, {1, 2, 1, 2}, {0, 0, 0, 0}},
    {{&kChannelsFamily, {1}}, 2, {1, 2, -3, 0.5f}, {1.5f, -1.25f}},
    {{&kChannelsFamily, {1}}, 3, {1, 2, 4}, {7 * (1.0f / 3.0f)}},
    {{&kChannelsFamily, {2}}, 3, {1, 2, 4}, {2.5f, 2}},
    {{&kChannelsFamily, {3}}, 2, {1, 2}, {1, 2, 1}},
    {{&kRemixFamily, {}, 0, "2|1"}, 2, {1, 2, 3, 4}, {2, 1, 4, 3}},
    {{&kRemixFamily, {}, 0, "0.5*1+0.5*2 | 0 | -2*2"}, 2, {1, 2}, {1.5f, 0, -4}},
    {{&kRemixFamily, {}, 0, "1|1|1"}, 1, {7}, {7, 7, 7}},
    {{&kRemixFamily, {}, 0, ""}, 2, {1, 2}, {1, 2}},
    {{&kTempoFamily, {1}}, 2, {1, 2, 3, 4}, {1, 2, 3, 4}},
    {{&kPitchFamily, {0}}, 1, {1, 2, 3}, {1, 2, 3}},
    {{&kSpeedFamily, {0.5, 2, 500}}, 2, kOneToTen, kOneToTen, 1000},  // 1000 Hz x 0.5 is 500 Hz
    // The first segment is the input from its start: 82 frames at 1 kHz, crossfades of 16.
    {{&kTempoFamily, {2}}, 1, kOneToTen, {1, 2, 3, 4, 5}, 1000},
    {{&kTempoFamily, {0.5}},
     1,
     kOneToTen,
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
     1000},
    {{&kTempoFamily, {1.25, 30, 10, 5}}, 2, kOnes, {1, 1, 1, 1, 1, 1}, 1000},
    {{&kPitchFamily, {-500}}, 2, kOnes, {}, 1000, true},
    {{&kPitchFamily, {700, 20, 30, 10, 3}}, 1, kOnes, {}, 1000, true},
    {{&kCompandFamily, {}, 0, kInstant}, 1, {1, 1e-3f, -1}, {0.1f, 1e-3f, -0.1f}},
    {{&kCompandFamily, {0, 0, 0.01, 0, 0, 0.2}, 0, kInstant},  // audio 2 frames behind
     1,
     {1, 1e-3f, 1, 1e-3f, 1e-3f},
     {0.1f, 1e-3f, 1, 1e-3f, 1e-3f}},
    {{&kCompandFamily, {0, 0, 0.01, 0, 0, 0.5}, 0, kInstant}, 1, {1, 1}, {0.1f, 0.1f}},
    {{&kCompandFamily, {}, 0, kInstant}, 2, {1, 0.5f, 1e-3f, 1e-3f}, {0.1f, 0.05f, 1e-3f, 1e-3f}},
    {{&kCompandFamily, {}, 0, "0/0/0/0\0-40/-40/0/-20"sv},
     2,
     {1, 1e-3f, 1e-3f, 1e-3f},
     {0.1f, 1e-3f, 1e-3f, 1e-3f}},
    {{&kCompandFamily, {0, 0, 6, -3, -20, 0.25}}, 2, kOnes, {}, 10, true},
};

TEST(ReshapingFamilies, GiveTheirOutputExactly) {
  for (const Case& c : kCases) {
    const Bytes out =
        RunStage(c.settings, c.channels, AsBytes(c.input), sizeof(float), nullptr, c.rate);
    if (c.lengthOnly) {
      EXPECT_EQ(out.size(), c.input.size() * 4) << &c - kCases;
      continue;
    }
    EXPECT_EQ(out, AsBytes(c.expected)) << c.settings.family->info.name << " " << &c - kCases;
  }
}

TEST(ReshapingFamilies, OutputDoesNotDependOnHowTheStreamIsCut) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
  for (const Case& c : kCases) {
    for (uint32_t frames : {0u, 1u, 9u, 300u}) {
      std::vector<float> input(frames * c.channels);
      for (float& x : input)
        x = sample(random);
      const Bytes bytes = AsBytes(input);
      EXPECT_EQ(RunStage(c.settings, c.channels, bytes, 4, &random, c.rate),
                RunStage(c.settings, c.channels, bytes, 4, nullptr, c.rate))
          << c.settings.family->info.name << " " << &c - kCases << " " << frames;
    }
  }
}

// A stage that only copies moves any sample as it stands: run on numbered 4-byte samples, it
// says where each output sample comes from (0: silence), and 8-byte samples must follow that.
TEST(ReshapingFamilies, CopyingStagesMoveWideSamplesExactly) {
  std::mt19937 random(11);
  for (const Case& c : kCases) {
    Stage stage(c.settings, c.channels, c.rate);
    if (!stage.ops.copiesOnly(stage.record.data())) continue;
    const std::size_t count = 200 * c.channels;
    std::vector<uint32_t> numbers(count);
    std::vector<uint64_t> wide(count);
    for (std::size_t i = 0; i < count; ++i) {
      numbers[i] = static_cast<uint32_t>(i + 1);
      wide[i] = (uint64_t{random()} << 32) | random();  // NaNs and subnormals among them
    }
    const Bytes from = RunStage(c.settings, c.channels, AsBytes(numbers), 4, &random, c.rate);
    const Bytes out = RunStage(c.settings, c.channels, AsBytes(wide), 8, &random, c.rate);
    ASSERT_EQ(out.size(), from.size() * 2) << &c - kCases;
    for (std::size_t k = 0; k < from.size() / 4; ++k) {
      uint32_t source;
      uint64_t value;
      std::memcpy(&source, &from[k * 4], 4);
      std::memcpy(&value, &out[k * 8], 8);
      EXPECT_EQ(value, source == 0 ? 0 : wide[source - 1]) << &c - kCases << " " << k;
    }
  }
}

struct Refusal {
  Settings settings;
  uint32_t channels;
  uint32_t rate;
  const char* problem;  // "" when the settings apply
};

const Refusal kRefusals[] = {
    {{&kTrimFamily, {0, 2, 1}}, 1, 10, "end 2 s and duration 1 s both given: give one"},
    {{&kTrimFamily, {2, 1}}, 1, 10, "end 1 s lies before its start 2 s"},
    {{&kTrimFamily, {100, 5}, 0b1}, 1, 10, "end 5 s lies before its start 100s"},
    {{&kTrimFamily, {50, 5}, 0b1}, 1, 10, ""},
    {{&kTrimFamily, {1.5}, 0b1},
     1,
     10,
     "start 1.5s is not a whole count of frames (0s to 9007199254740992s)"},
    {{&kPadFamily, {0, 0x1p54}, 0b10},
     1,
     10,
     "end 18014398509481984s is not a whole count of frames (0s to 9007199254740992s)"},
    {{&kFadeFamily, {0, 600}}, 2, 192000, ""},
    {{&kFadeFamily, {0, 600}},
     8,
     192000,
     "out 600 s holds 921600000 samples of a stream of 8 channels (at most 268435456)"},
    {{&kRemixFamily, {}, 0, "1+5"},
     2,
     10,
     "map '1+5' names channel 5 of a 2-channel stream (1 to 2)"},
    {{&kRemixFamily, {}, 0, "1||2"}, 2, 10, "map '1||2' has an empty output"},
    {{&kRemixFamily, {}, 0, "2|"}, 2, 10, "map '2|' has an empty output"},
    {{&kRemixFamily, {}, 0, "1++2"}, 2, 10, "map '1++2' has an empty term"},
    {{&kRemixFamily, {}, 0, "0+1"},
     2,
     10,
     "map '0+1' has '0', not a channel (1 to 65535; 0 alone is a silent output)"},
    {{&kRemixFamily, {}, 0, "inf*1"}, 2, 10, "map 'inf*1' has weight 'inf', not a finite number"},
    {{&kTempoFamily, {1, 40, 14.68, 21}},
     1,
     8000,
     "overlap 21 ms is more than half the segment 40 ms"},
    {{&kPitchFamily, {100, 10, 0, 5}}, 1, 8000, ""},
    {{&kSpeedFamily, {20}}, 1, 10, ""},
    {{&kSpeedFamily, {0.9, 2, 16000}}, 2, 44100, ""},
    {{&kSpeedFamily, {0.9, 2, 16000}},
     1,
     22,
     "rate '16000' from the stream's 22 Hz times the factor, 19.8 Hz, is beyond a factor of 256 "
     "(1 to 5068 Hz)"},
    {{&kSpeedFamily, {19.999999, 2, 1999993}},
     1,
     96001,
     "rate '1999993' from the stream's 96001 Hz times the factor, 1920019.903999 Hz, takes rates "
     "that do not reduce below 2^40: give the factor fewer decimals"},
    {{&kTempoFamily, {2}},
     1,
     10,
     "segment 82 ms at 10 Hz is shorter than twice its overlap (1 and 8 frames)"},
    {{&kPitchFamily, {-7972, 120}},
     8,
     2000000,
     "holds 346328544 samples of a stream of 8 channels at 2000000 Hz (at most 268435456)"},
    {{&kPhaserFamily, {1, 0.5, 4000}}, 2, 8001, ""},
    {{&kCompandFamily, {}, 0, "1/2/3/4\0"sv},
     3,
     10,
     "times has 2 attack/decay pairs for 3 channels (one for all, or one per channel)"},
    {{&kCompandFamily, {}, 0, "1/2/3\0"sv},
     1,
     10,
     "times: an attack without its decay (give attack/decay pairs)"},
    {{&kCompandFamily, {}, 0, "\0-10/-10/-20/-30"sv},
     1,
     10,
     "points: input levels must increase (-20 dB)"},
    {{&kCompandFamily, {}, 0, "\0-10/1"sv},
     1,
     10,
     "points: '1' is not a level of at most 0 dB (or -inf)"},
    {{&kPhaserFamily, {1, 0.5, 4000}},
     2,
     8000,
     "centre 4000 Hz is not below half the sample rate (4000 Hz)"},
};

// Output lengths as SoX 14.4.2 gives them (`sox -D in.wav out.wav tempo F` or `pitch C`, soxi -s).
TEST(ReshapingFamilies, TempoAndPitchGiveSoxLengths) {
  struct Row {
    const EffectFamily* family;
    double value;
    uint32_t rate, frames, sox;
  };
  const Row rows[] = {
      {&kTempoFamily, 0.1, 44100, 44101, 441010},   {&kTempoFamily, 0.5, 8000, 7, 14},
      {&kTempoFamily, 0.9, 8000, 1000, 1111},       {&kTempoFamily, 1.1, 48000, 123457, 112234},
      {&kTempoFamily, 1.25, 44100, 4410, 3528},     {&kTempoFamily, 3.7, 44100, 5025, 1358},
      {&kTempoFamily, 100, 44100, 44101, 441},      {&kTempoFamily, 2, 8000, 1, 1},
      {&kPitchFamily, -1200, 8000, 1, 2},           {&kPitchFamily, -300, 8000, 123455, 123455},
      {&kPitchFamily, -300, 8000, 123440, 123440},  {&kPitchFamily, -1, 44100, 44101, 44101},
      {&kPitchFamily, 7, 48000, 100, 100},          {&kPitchFamily, 300, 8000, 123451, 123451},
      {&kPitchFamily, 1200, 44100, 123457, 123457}, {&kPitchFamily, -1200, 48000, 123457, 123458},
  };
  for (const Row& row : rows) {
    const Bytes input(row.frames * 4);
    const Bytes out = RunStage({row.family, {row.value}}, 1, input, 4, nullptr, row.rate);
    EXPECT_EQ(out.size() / 4, row.sox) << row.family->info.name << " " << row.value;
  }
}

// A 440 Hz tone keeps its pitch through tempo and moves by the ratio through pitch: the rate of
// upward zero crossings over the output's middle.
TEST(ReshapingFamilies, TempoKeepsAndPitchMovesATone) {
  struct Row {
    const EffectFamily* family;
    double value;
    double frequency;
  };
  constexpr uint32_t rate = 44100, frames = 88200;
  std::vector<float> tone(frames);
  for (uint32_t i = 0; i < frames; ++i)
    tone[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 440 * i / rate));
  for (const Row& row :
       {Row{&kTempoFamily, 0.7, 440}, Row{&kTempoFamily, 1.6, 440},
        Row{&kPitchFamily, 700, 440 * std::pow(2, 7 / 12.0)}, Row{&kPitchFamily, -1200, 220}}) {
    const Bytes out = RunStage({row.family, {row.value}}, 1, AsBytes(tone), 4, nullptr, rate);
    std::vector<float> y(out.size() / 4);
    std::memcpy(y.data(), out.data(), out.size());
    const std::size_t from = y.size() / 4, to = 3 * y.size() / 4;
    std::size_t first = 0, last = 0, crossings = 0;
    for (std::size_t i = from; i < to; ++i) {
      if (y[i - 1] < 0 && y[i] >= 0) {
        if (crossings++ == 0) first = i;
        last = i;
      }
    }
    const double measured =
        static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
    EXPECT_NEAR(measured / row.frequency, 1.0, 0.01) << row.family->info.name << " " << row.value;
  }
}

TEST(ReshapingFamilies, RefuseSettingsThatCannotApply) {
  for (const Refusal& r : kRefusals) {
    const FamilyOps& ops = r.settings.family->ops;
    std::string problem;
    const StageValues values = ValuesOf(r.settings);
    const bool fine = (ops.check == nullptr || ops.check(values, problem)) &&
                      ops.fits(values, {r.channels, r.rate}, problem);
    EXPECT_EQ(fine, r.problem[0] == '\0') << problem;
    EXPECT_EQ(problem, r.problem);
  }
}

TEST(Gain, ScalesByTheNearestFloatToItsRatio) {
  struct Row {
    double db;
    float gain;
  };
  for (const Row& row : {Row{0, 1.0f}, Row{20, 10.0f}, Row{-20, 0.1f}, Row{60, 1000.0f},
                         Row{-120, 1e-6f}, Row{-6, 0.50118723f}}) {
    GainState state{};
    InitGain(state, row.db, 1);
    float sample = 1.0f;
    ProcessGain(state, &sample, 1);
    EXPECT_EQ(sample, row.gain) << row.db;
    EXPECT_EQ(kGainFamily.ops.changesAudio(&state), row.db != 0) << row.db;
  }
  for (double db = -120; db <= 60; db += 0.37) {  // within a unit in the last place of pow's
    const auto reference = static_cast<float>(std::pow(10.0, db / 20.0));
    const auto gain = static_cast<float>(TenToThe(db / 20.0));
    EXPECT_LE(std::fabs(gain - reference), std::nextafter(reference, 1e9f) - reference) << db;
  }
  // The measurement's own logarithm and tangent, against the C library's.
  for (double x = 1e-300; x < 1e300; x *= 1.37) {
    EXPECT_NEAR(LogTen(x), std::log10(x), 4e-16 * std::max(1.0, std::fabs(std::log10(x)))) << x;
  }
  for (double x = 0.0; x < 0.45; x += 0.0013)
    EXPECT_NEAR(TangentOfPiTimes(x), std::tan(std::numbers::pi * x),
                1e-14 * std::tan(std::numbers::pi * x) + 1e-300)
        << x;
  EXPECT_EQ(LogTen(0.0), -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(LogTen(-1.0)));
}

}  // namespace
}  // namespace wavfx
