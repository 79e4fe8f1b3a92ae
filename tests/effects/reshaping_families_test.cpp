// The families that change the stream's length or channels, and the gain, through their rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dsp/effect_math.h"
#include "effects/channels.h"
#include "effects/fade.h"
#include "effects/gain.h"
#include "effects/pad.h"
#include "effects/phaser.h"
#include "effects/remix.h"
#include "effects/trim.h"

namespace wavfx {
namespace {

using Bytes = std::vector<unsigned char>;
constexpr uint32_t kRate = 10;

struct Settings {
  const EffectFamily* family;
  std::vector<double> values;  // in the family's order; the rest at their defaults
  uint32_t frames = 0;         // bit i: values[i] counts frames
  const char* map = "";
};

StageValues ValuesOf(const Settings& s) {
  StageValues v{};
  for (std::size_t i = 0; i < s.family->info.parameter_count; ++i) {
    v.values[i] = i < s.values.size() ? s.values[i] : s.family->info.parameters[i].default_value;
  }
  v.samples = s.frames;
  std::strncpy(v.text, s.map, kMaxStageText - 1);
  return v;
}

// One stage's record, set up for its settings and released at the end.
struct Stage {
  const FamilyOps& ops;
  StreamShape out;
  std::vector<std::max_align_t> record;
  Stage(const Settings& s, uint32_t channels)
      : ops(s.family->ops),
        out(ops.shape(ValuesOf(s), {channels, kRate})),
        record(ops.stateSize / sizeof(std::max_align_t) + 1) {
    // Zero-filled as the engine fills it: max_align_t's value leaves its padding bytes alone.
    std::memset(static_cast<void*>(record.data()), 0, record.size() * sizeof(std::max_align_t));
    ops.init(record.data(), ValuesOf(s), {channels, kRate});
  }
  ~Stage() {
    if (ops.release != nullptr) ops.release(record.data());
  }
};

// The stage's output for `input` (samples `width` bytes wide), given at once or, with `random`,
// in random pieces to random room.
Bytes RunStage(const Settings& s, uint32_t channels, const Bytes& input, std::size_t width,
               std::mt19937* random = nullptr) {
  Stage stage(s, channels);
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
};

const std::vector<float> kOneToTen = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const std::vector<float> kOnes = {1, 1, 1, 1, 1, 1, 1, 1};

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
};

TEST(ReshapingFamilies, GiveTheirOutputExactly) {
  for (const Case& c : kCases) {
    const Bytes out = RunStage(c.settings, c.channels, AsBytes(c.input), sizeof(float));
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
      EXPECT_EQ(RunStage(c.settings, c.channels, bytes, 4, &random),
                RunStage(c.settings, c.channels, bytes, 4))
          << c.settings.family->info.name << " " << &c - kCases << " " << frames;
    }
  }
}

// A stage that only copies moves any sample as it stands: run on numbered 4-byte samples, it
// says where each output sample comes from (0: silence), and 8-byte samples must follow that.
TEST(ReshapingFamilies, CopyingStagesMoveWideSamplesExactly) {
  std::mt19937 random(11);
  for (const Case& c : kCases) {
    Stage stage(c.settings, c.channels);
    if (!stage.ops.copiesOnly(stage.record.data())) continue;
    const std::size_t count = 200 * c.channels;
    std::vector<uint32_t> numbers(count);
    std::vector<uint64_t> wide(count);
    for (std::size_t i = 0; i < count; ++i) {
      numbers[i] = static_cast<uint32_t>(i + 1);
      wide[i] = (uint64_t{random()} << 32) | random();  // NaNs and subnormals among them
    }
    const Bytes from = RunStage(c.settings, c.channels, AsBytes(numbers), 4, &random);
    const Bytes out = RunStage(c.settings, c.channels, AsBytes(wide), 8, &random);
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
    {{&kPhaserFamily, {1, 0.5, 4000}}, 2, 8001, ""},
    {{&kPhaserFamily, {1, 0.5, 4000}},
     2,
     8000,
     "centre 4000 Hz is not below half the sample rate (4000 Hz)"},
};

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
}

}  // namespace
}  // namespace wavfx
