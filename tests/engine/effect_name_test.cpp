#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/effect.h"
#include "engine/registry.h"
#include "support/failing_allocator.h"

namespace wavfx {
namespace {

TEST(EffectNameEquals, FoldsOnlyTheCapitalsAToZ) {
  struct Case {
    const char* name;
    const char* literal;
    bool equal;
  };
  const Case cases[] = {
      {"echo", "echo", true},
      {"Echo", "echo", true},
      {"ECHO", "echo", true},
      {"eChO", "echo", true},
      {"echo", "ECHO", true},  // both sides are folded
      {"echo ", "echo", false},
      {" echo", "echo", false},
      {"ech", "echo", false},
      {"echoes", "echo", false},
      {"", "echo", false},
      {"echo", "", false},
      {"", "", true},
      {"@", "`", false},  // 64 and 96: just outside A-Z, never folded
      {"[", "{", false},  // 91 and 123
      {"`", "@", false},
      {"{", "[", false},
      {"Z", "z", true},
      {"A", "a", true},
      {"\xC3\x89", "\xC3\xA9", false},  // UTF-8 capital and small e acute
      {"\xC9", "\xE9", false},          // the same letters in Latin-1
      {"\xC3\xA9", "\xC3\xA9", true},
      {"caf\xE9", "CAF\xC9", false},
      {"\xFF", "\xDF", false},
      {"\x80", "\x80", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EffectNameEquals(c.name, c.literal), c.equal)
        << '"' << c.name << "\" vs \"" << c.literal << '"';
  }
}

std::string Capitalised(const char* literal) {
  std::string text = literal;
  for (char& c : text)
    c = static_cast<char>(c - 32);
  return text;
}

std::string Alternating(const char* literal) {
  std::string text = literal;
  for (std::size_t i = 0; i < text.size(); i += 2)
    text[i] = static_cast<char>(text[i] - 32);
  return text;
}

TEST(EffectNames, ListsEveryLiteralInMatchingOrder) {
  struct Case {
    const char* literal;
    EffectKind kind;
  };
  const Case expected[] = {
      {"none", EffectKind::None},           {"antique", EffectKind::Antique},
      {"echo", EffectKind::Echo},           {"concert", EffectKind::Reverb},
      {"reverb", EffectKind::Reverb},       {"tremolo", EffectKind::Tremolo},
      {"distort", EffectKind::Distortion},  {"overdrive", EffectKind::Distortion},
      {"lowpass", EffectKind::Lowpass},     {"highpass", EffectKind::Highpass},
      {"bitcrush", EffectKind::Bitcrusher}, {"bitcrusher", EffectKind::Bitcrusher},
      {"flanger", EffectKind::Flanger},     {"chorus", EffectKind::Chorus},
      {"compress", EffectKind::Compressor}, {"compressor", EffectKind::Compressor},
      {"widen", EffectKind::Widener},       {"stereo", EffectKind::Widener},
  };
  const auto names = EffectNames();
  ASSERT_EQ(names.size(), std::size(expected));
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_STREQ(names[i].literal, expected[i].literal) << i;
    EXPECT_EQ(names[i].kind, expected[i].kind) << i;
    EXPECT_NE(std::strlen(FamilyOf(names[i].kind).info.description), 0u) << i;
  }
}

EffectKind KindOf(const std::string& name, uint32_t channels = 2, uint32_t sampleRate = 44100) {
  EffectState state{};
  InitEffect(state, name.c_str(), channels, sampleRate);
  const EffectKind kind = state.kind;
  EXPECT_EQ(state.channels, channels);
  EXPECT_EQ(state.sampleRate, sampleRate);
  ReleaseEffect(state);
  return kind;
}

TEST(InitEffect, SelectsTheKindOfEveryLiteralInAnyCase) {
  for (const EffectName& name : EffectNames()) {
    SCOPED_TRACE(name.literal);
    EXPECT_EQ(KindOf(name.literal), name.kind);
    EXPECT_EQ(KindOf(Capitalised(name.literal)), name.kind);
    EXPECT_EQ(KindOf(Alternating(name.literal)), name.kind);
  }
}

TEST(InitEffect, AnythingElseSelectsNone) {
  const std::string names[] = {
      "",          "echo ",       "ech",          "echoo",       " reverb",
      "reverb\t",  "bitcrus",     "widener",      "compresso",   "\u00e9cho",
      "\u00c9CHO", "e\xC3\xA7ho", "concert hall", "lowpass3000", "stereo-widen",
      "\xFF\xFE",
  };
  for (const std::string& name : names)
    EXPECT_EQ(KindOf(name), EffectKind::None) << name;
}

TEST(InitEffect, StoresChannelsAndRateAlsoForNone) {
  struct Case {
    const char* name;
    uint32_t channels;
    uint32_t sampleRate;
  };
  const Case cases[] = {
      {"none", 1, 8000}, {"unknown", 6, 96000}, {"ECHO", 2, 22050}, {"Widen", 2, 44100}};
  for (const Case& c : cases)
    KindOf(c.name, c.channels, c.sampleRate);
}

TEST(ProcessEffect, EffectsThatChangeNoAudioLeaveTheBlockUntouched) {
  struct Case {
    const char* name;
    uint32_t channels;
    int failOn;    // the allocation that fails, 0 for none
    int32_t kind;  // -2: the name's kind
    bool changes;
  };
  const Case cases[] = {
      {"none", 2, 0, -2, false},       {"none", 2, 0, 13, false},    {"none", 2, 0, -1, false},
      {"widen", 1, 0, -2, false},      {"widen", 3, 0, -2, false},   {"echo", 2, 1, -2, false},
      {"reverb", 2, 3, -2, false},     {"flanger", 1, 1, -2, false}, {"chorus", 2, 1, -2, false},
      {"distort", 1030, 1, -2, false}, {"widen", 2, 0, -2, true},    {"echo", 2, 0, -2, true},
  };
  for (const Case& c : cases) {
    std::vector<int16_t> input(2 * c.channels);
    for (std::size_t i = 0; i < input.size(); ++i)
      input[i] = static_cast<int16_t>(i < c.channels ? 32767 : -32768);
    EffectState state{};
    {
      testing::ScopedFailingAllocator allocator(c.failOn);
      InitEffect(state, c.name, c.channels, 44100);
    }
    if (c.kind != -2) state.kind = static_cast<EffectKind>(c.kind);
    EXPECT_EQ(EffectChangesAudio(state), c.changes) << c.name << " " << c.channels;
    std::vector<int16_t> block = input;
    ProcessEffect(state, block.data(), 2);
    ReleaseEffect(state);
    // The conversions alone would bring full scale one step inward.
    EXPECT_EQ(block == input, !c.changes) << c.name << " " << c.channels;
  }
}

}  // namespace
}  // namespace wavfx
