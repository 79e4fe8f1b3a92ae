#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/wav_files.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Listing;
using testing::Utf16;

struct Job {
  int32_t status;
  std::string stderrText;
};

Job Apply(const std::string& input, const std::string& output, const char* effect = "reverb") {
  ::testing::internal::CaptureStderr();
  const int32_t status =
      WAVEffect(Utf16(input).c_str(), Utf16(output).c_str(), Utf16(effect).c_str());
  return {status, ::testing::internal::GetCapturedStderr()};
}

std::vector<int16_t> Ramp(std::size_t count) {
  std::vector<int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i)
    samples[i] = static_cast<int16_t>(i * 37);
  return samples;
}

// Feeds `bytes` into the FIFO at `path` from a thread once a reader has opened it, then closes
// it. Gives up after a few seconds when no reader comes, so that a test never hangs.
struct FifoWriter {
  FifoWriter(const fs::path& path, Bytes bytes)
      : thread([path, bytes = std::move(bytes)] {
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
          int fd;
          while ((fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
            if (errno != ENXIO || std::chrono::steady_clock::now() > deadline) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
          ::fcntl(fd, F_SETFL, 0);
          std::size_t done = 0;
          while (done < bytes.size()) {
            const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (put <= 0) break;
            done += static_cast<std::size_t>(put);
          }
          ::close(fd);
        }) {}
  ~FifoWriter() { thread.join(); }
  std::thread thread;
};

class Faults : public ::testing::Test {
 protected:
  // A reader that goes away early must not kill the writing thread.
  void SetUp() override { std::signal(SIGPIPE, SIG_IGN); }
};

TEST_F(Faults, InputsThatAreNoFilesAreRefusedWithoutHanging) {
  struct Case {
    const char* name;
    const char* input;  // null: a FIFO fed with `fed`
    Bytes fed;
    const char* message;
  };
  const Case cases[] = {
      // The reader walks the whole file by seeking, which a FIFO cannot do.
      {"FIFO holding a valid file", nullptr, testing::WavFile(2, 44100, Ramp(2000)), ""},
      {"FIFO holding another format", nullptr, Bytes{'R', 'I', 'F', 'X', 0, 0, 0, 0},
       "Error: not a RIFF file\n"},
      {"FIFO closed without data", nullptr, {}, ""},
      {"/dev/null", "/dev/null", {}, ""},
      {"/dev/zero", "/dev/zero", {}, "Error: not a RIFF file\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const fs::path fifo = dir / "in.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::optional<FifoWriter> writer;
    if (c.input == nullptr) writer.emplace(fifo, c.fed);
    const Job job = Apply(c.input != nullptr ? c.input : fifo.string(), (dir / "out.wav").string());
    writer.reset();
    EXPECT_EQ(job.status, 1);
    EXPECT_EQ(job.stderrText, c.message);
    EXPECT_FALSE(fs::exists(dir / "out.wav"));
  }
}

TEST_F(Faults, OutputFaultsLeaveTheInputUntouched) {
  struct Case {
    const char* output;  // "@" stands for the test directory
    int32_t status;
    const char* message;
  };
  const Case cases[] = {
      {"/dev/full", 999, "Error: write failed\n"},
      {"/dev/null", 999, ""},
      {"@/sub", 1, "Error: cannot open output '@/sub'\n"},
      {"@/missing/out.wav", 1, "Error: cannot open output '@/missing/out.wav'\n"},
  };
  // Larger than the output's stream buffer, so that /dev/full fails while streaming.
  const Bytes input = testing::WavFile(2, 44100, Ramp(400000));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    testing::TempDir dir;
    auto expand = [&dir](std::string text) {
      for (std::size_t at; (at = text.find('@')) != std::string::npos;) {
        text.replace(at, 1, dir.path.string());
      }
      return text;
    };
    testing::WriteFile(dir / "in.wav", input);
    fs::create_directory(dir / "sub");
    struct stat before;
    ASSERT_EQ(::stat((dir / "in.wav").c_str(), &before), 0);
    const auto listing = Listing(dir.path);

    const Job job = Apply((dir / "in.wav").string(), expand(c.output));
    EXPECT_EQ(job.status, c.status);
    EXPECT_EQ(job.stderrText, expand(c.message));
    EXPECT_EQ(testing::ReadFile(dir / "in.wav"), input);
    struct stat after;
    ASSERT_EQ(::stat((dir / "in.wav").c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(Listing(dir.path), listing);
    EXPECT_TRUE(fs::is_empty(dir / "sub"));
  }
}

// The output is a FIFO that the test drains: the library blocks on it, and the input is changed
// once part of the output has arrived, while the library is still streaming.
TEST_F(Faults, InputChangedWhileStreaming) {
  enum class Change { None, Delete, ReplaceByRename, Truncate };
  struct Case {
    const char* name;
    Change change;
    const char* message;
    bool whole;  // whether the whole output arrives; otherwise a prefix of whole frames
  };
  const Case cases[] = {
      {"untouched", Change::None, "", true},
      {"deleted", Change::Delete, "", true},
      {"replaced by a rename", Change::ReplaceByRename, "", true},
      {"truncated", Change::Truncate, "Error: read failed\n", false},
  };
  // 4 MB of data, far more than the stream buffers and the pipe hold.
  const Bytes input = testing::WavFile(2, 44100, Ramp(2'000'000));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const fs::path in = dir / "in.wav";
    testing::WriteFile(in, input);
    testing::WriteFile(dir / "other.wav", testing::WavFile(1, 8000, Ramp(10)));
    ASSERT_EQ(Apply(in.string(), (dir / "alone.wav").string(), "echo").status, 999);
    const Bytes alone = testing::ReadFile(dir / "alone.wav");
    const fs::path fifo = dir / "out.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    Bytes received;
    std::thread reader([&] {
      const int fd = ::open(fifo.c_str(), O_RDONLY);
      if (fd < 0) return;
      bool changed = false;
      char buffer[8192];
      for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        received.insert(received.end(), buffer, buffer + got);
        if (!changed && received.size() >= 65536) {
          changed = true;
          if (c.change == Change::Delete) fs::remove(in);
          if (c.change == Change::ReplaceByRename) fs::rename(dir / "other.wav", in);
          if (c.change == Change::Truncate) fs::resize_file(in, 0);
        }
      }
      ::close(fd);
    });
    const Job job = Apply(in.string(), fifo.string(), "echo");
    reader.join();
    EXPECT_EQ(job.status, 999);
    EXPECT_EQ(job.stderrText, c.message);
    ASSERT_GE(received.size(), 65536u);
    if (c.whole) {
      EXPECT_EQ(received, alone);
    } else {
      EXPECT_LT(received.size(), alone.size());
      EXPECT_EQ((received.size() - 44) % 4, 0u);
      EXPECT_EQ(received,
                Bytes(alone.begin(), alone.begin() + static_cast<std::ptrdiff_t>(received.size())));
    }
  }
}

}  // namespace
}  // namespace wavfx
