#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_support.h"

namespace wavfx {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

// A job's temporary file for `output`: "." output ".wavfx-" eight letters or digits ".tmp".
bool IsTemporaryOf(const std::string& name, const std::string& output) {
  const std::string head = "." + output + ".wavfx-", tail = ".tmp";
  if (name.size() != head.size() + 8 + tail.size() || !name.starts_with(head) ||
      !name.ends_with(tail)) {
    return false;
  }
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(head.size()),
                     name.end() - static_cast<std::ptrdiff_t>(tail.size()),
                     [](unsigned char c) { return std::isalnum(c) != 0 || c == '_'; });
}

// 150 seconds of distinct-looking stereo samples.
Bytes Wav(uint16_t bits, uint32_t rate) {
  const uint32_t block = bits / 4u;
  Bytes data(std::size_t{rate} * 150 * block);
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i * 7 + i / 251);
  Bytes file =
      testing::RiffWave({testing::FormatChunk(2, rate, bits), testing::Chunk("data", data)});
  for (int i = 0; i < 4; ++i)  // the byte rate and block align of `bits`, not of 16 bits
    file[28 + i] = static_cast<uint8_t>(rate * block >> 8 * i);
  file[32] = static_cast<uint8_t>(block);
  return file;
}

pid_t Spawn(const std::vector<std::string>& args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const pid_t pid = testing::SpawnCli(args, &actions);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Jobs killed at random moments leave under the output's name the old file, its mode kept, or the
// complete new one, never a part of it; beside it at most a hidden temporary file.
TEST(KilledJobs, LeaveTheOldOutputOrTheCompleteNewOne) {
  if (fs::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 0);
  const testing::TempDir dir;
  testing::WriteFile(dir / "in24.wav", Wav(24, 48000));
  testing::WriteFile(dir / "in16.wav", Wav(16, 44100));
  fs::create_directory(dir / "out");
  fs::create_symlink("target.wav", dir / "link.wav");
  struct Case {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the test directory
    const char* written;
    bool general;  // takes the general path, which a build without libsndfile lacks
  };
  const Case cases[] = {
      {"24-bit, general path", {"@/in24.wav", "@/out.wav", "reverb"}, "out.wav", true},
      {"16-bit through a link", {"@/in16.wav", "@/link.wav", "reverb"}, "target.wav", false},
      {"batch", {"-e", "reverb", "-o", "@/out", "@/in16.wav"}, "out/in16.wav", false},
  };
  std::mt19937 random(7);
  const Bytes old = {'o', 'l', 'd'};
  for (const Case& c : cases) {
    if (c.general && !WAVFX_GENERAL_PATH) continue;
    SCOPED_TRACE(c.name);
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
      args.push_back(arg[0] == '@' ? dir.path.string() + arg.substr(1) : arg);
    const fs::path written = dir / c.written;
    const auto start = std::chrono::steady_clock::now();
    int status = -1;
    waitpid(Spawn(args), &status, 0);
    ASSERT_EQ(status, 0);
    const std::chrono::duration<double> job = std::chrono::steady_clock::now() - start;
    const Bytes complete = testing::ReadFile(written);
    const auto names = testing::Listing(written.parent_path());
    int interrupted = 0;
    for (int run = 0; run < 10; ++run) {
      testing::WriteFile(written, old);
      fs::permissions(written, fs::perms(0640));
      const pid_t pid = Spawn(args);
      std::this_thread::sleep_for(job * std::uniform_real_distribution<double>(0, 1.2)(random));
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      const Bytes left = testing::ReadFile(written);
      EXPECT_TRUE(left == old || left == complete) << left.size() << " bytes";
      EXPECT_EQ(fs::status(written).permissions(), fs::perms(0640));
      for (const std::string& name : testing::Listing(written.parent_path())) {
        if (names.count(name) > 0) continue;
        EXPECT_TRUE(IsTemporaryOf(name, written.filename().string())) << name;
        fs::remove(written.parent_path() / name);
        ++interrupted;
      }
    }
    EXPECT_GT(interrupted, 0) << "no kill came while the output was written";
    EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
  }
}

}  // namespace
}  // namespace wavfx
