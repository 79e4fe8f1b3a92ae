// Every effect name end to end through WAVEffect on the demo file.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/effect.h"
#include "support/wav_files.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

using testing::Bytes;

Bytes RunOnDemo(const testing::TempDir& dir, const std::string& effect) {
  const auto output = dir / (effect + ".wav");
  const std::u16string in = testing::Utf16(WAVFX_DEMO_WAV);
  const std::u16string out = testing::Utf16(output.string());
  const std::u16string name = testing::Utf16(effect);
  EXPECT_EQ(WAVEffect(in.c_str(), out.c_str(), name.c_str()), 999) << effect;
  return testing::ReadFile(output);
}

TEST(DemoEffects, EveryNameChangesTheSoundAndAliasesAgree) {
  testing::TempDir dir;
  const Bytes input = testing::ReadFile(WAVFX_DEMO_WAV);
  const Bytes copy = RunOnDemo(dir, "none");
  ASSERT_EQ(copy.size(), input.size());
  ASSERT_TRUE(std::equal(copy.begin() + 44, copy.end(), input.begin() + 44));

  std::map<EffectKind, Bytes> firstOfKind;
  for (const EffectName& name : EffectNames()) {
    const Bytes output = RunOnDemo(dir, name.literal);
    ASSERT_EQ(output.size(), input.size()) << name.literal;
    EXPECT_TRUE(std::equal(output.begin(), output.begin() + 44, copy.begin())) << name.literal;
    if (name.kind != EffectKind::None) {
      EXPECT_NE(output, copy) << name.literal;
    }
    const auto [first, inserted] = firstOfKind.emplace(name.kind, output);
    if (!inserted) {
      EXPECT_EQ(output, first->second) << name.literal << " differs from its alias";
    }
  }
}

TEST(DemoEffects, NamesIgnoreCaseAndUnknownNamesCopy) {
  testing::TempDir dir;
  EXPECT_EQ(RunOnDemo(dir, "EcHo"), RunOnDemo(dir, "echo"));
  EXPECT_EQ(RunOnDemo(dir, "echo "), RunOnDemo(dir, "none"));
  EXPECT_EQ(RunOnDemo(dir, "vibrato"), RunOnDemo(dir, "none"));
}

}  // namespace
}  // namespace wavfx
