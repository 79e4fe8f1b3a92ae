#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "engine/effect.h"
#include "support/wav_files.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

using testing::Bytes;
using testing::Utf16;

constexpr int kThreads = 8;

// Every thread streams its own kind of file, so that the effects' buffers differ in size.
struct StreamKind {
  uint16_t channels;
  uint32_t sampleRate;
};
constexpr StreamKind kKinds[kThreads] = {{1, 8000},  {2, 44100}, {2, 48000},  {3, 22050},
                                         {6, 96000}, {1, 11025}, {2, 192000}, {4, 32000}};

std::vector<int16_t> Noise(std::size_t count, uint32_t seed) {
  std::vector<int16_t> samples(count);
  for (int16_t& sample : samples) {
    seed = seed * 1664525u + 1013904223u;
    sample = static_cast<int16_t>(seed >> 16);
  }
  return samples;
}

TEST(Concurrency, EveryEffectOnEightThreadsGivesTheSequentialBytes) {
  std::vector<std::string> names;
  for (const EffectName& name : EffectNames())
    names.emplace_back(name.literal);
  names.emplace_back("no such effect");

  testing::TempDir dir;
  auto file = [&dir](const char* stem, int thread, std::size_t name = 0) {
    return dir / (stem + std::to_string(thread) + "-" + std::to_string(name) + ".wav");
  };
  for (int t = 0; t < kThreads; ++t) {
    const StreamKind kind = kKinds[t];
    // 0.4 s: long enough for every delay line to wrap.
    const std::size_t frames = kind.sampleRate * 2 / 5;
    testing::WriteFile(file("in", t), testing::WavFile(kind.channels, kind.sampleRate,
                                                       Noise(frames * kind.channels,
                                                             static_cast<uint32_t>(t) + 7u)));
  }
  auto run = [&](const char* stem, int t, std::size_t n) {
    return WAVEffect(Utf16(file("in", t).string()).c_str(),
                     Utf16(file(stem, t, n).string()).c_str(), Utf16(names[n]).c_str());
  };
  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t n = 0; n < names.size(); ++n)
      ASSERT_EQ(run("alone", t, n), 999);
  }

  // All threads start together, each at a different name, so that different effects overlap.
  std::vector<std::vector<int32_t>> statuses(kThreads, std::vector<int32_t>(names.size()));
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (std::size_t k = 0; k < names.size(); ++k) {
        const std::size_t n = (static_cast<std::size_t>(t) + k) % names.size();
        statuses[static_cast<std::size_t>(t)][n] = run("together", t, n);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t n = 0; n < names.size(); ++n) {
      SCOPED_TRACE(names[n] + " on thread " + std::to_string(t));
      EXPECT_EQ(statuses[static_cast<std::size_t>(t)][n], 999);
      const Bytes alone = testing::ReadFile(file("alone", t, n));
      EXPECT_GT(alone.size(), 44u);
      EXPECT_EQ(testing::ReadFile(file("together", t, n)), alone);
    }
  }
}

}  // namespace
}  // namespace wavfx
