// ApplyEffect with JobOptions: tail, progress, open streams and the destination of diagnostics.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "entry/apply_effect.h"
#include "entry/stream.h"
#include "support/wav_files.h"

namespace wavfx {
namespace {

namespace fs = std::filesystem;
using testing::AppendLE16;
using testing::AppendLE32;
using testing::AppendTag;
using testing::Bytes;
using testing::Chunk;
using testing::DeclaringWav;
using testing::FormatChunk;
using testing::OutputFile;
using testing::Prefix;
using testing::RiffWave;
using testing::SampleBytes;
using testing::Utf16;

StreamOutcome ApplyToPaths(const fs::path& in, const fs::path& out, const std::string& effect,
                           const JobOptions& options = {}) {
  return ApplyEffect(Utf16(in.string()).c_str(), Utf16(out.string()).c_str(), Utf16(effect).c_str(),
                     options);
}

// An output stream that cannot seek, like a pipe: it only collects what it is given.
ssize_t Collect(void* cookie, const char* data, std::size_t size) {
  static_cast<Bytes*>(cookie)->insert(static_cast<Bytes*>(cookie)->end(), data, data + size);
  return static_cast<ssize_t>(size);
}

std::FILE* CollectingStream(Bytes& into) {
  return fopencookie(&into, "wb", {nullptr, Collect, nullptr, nullptr});
}

// An input stream that is no regular file, like a pipe.
std::FILE* PipeLike(Bytes& bytes) {
  return fmemopen(bytes.data(), bytes.size(), "rb");
}

TEST(JobOptions, TailRingsOutAsIfSilenceFollowedTheInput) {
  struct Case {
    const char* effect;
    uint16_t channels;
    uint32_t rate;
    std::size_t dataBytes;  // of the input
    double tailSeconds;
    uint32_t tailFrames;  // expected
  };
  const Case cases[] = {
      {"echo", 2, 8000, 4000, 0.5, 4000},
      {"reverb", 1, 22050, 3000, 1.0, 22050},
      {"none", 2, 8000, 4002, 0.01, 80},  // the partial frame is dropped before the tail
      {"echo", 3, 11025, 6000, 0.123, 1356},
      {"echo", 2, 8000, 400, 0.00001, 0},  // rounds to no tail: the plain job
  };
  const Bytes data = SampleBytes(6000);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.effect) + " " + std::to_string(c.tailSeconds));
    testing::TempDir dir;
    const uint32_t blockAlign = c.channels * 2u;
    const Bytes input = Prefix(data, c.dataBytes);
    testing::WriteFile(dir / "in.wav",
                       RiffWave({FormatChunk(c.channels, c.rate), Chunk("data", input)}));
    Bytes padded = Prefix(input, c.dataBytes - c.dataBytes % blockAlign);
    padded.resize(padded.size() + c.tailFrames * blockAlign, 0);
    const bool hasTail = c.tailFrames > 0;
    testing::WriteFile(dir / "padded.wav", RiffWave({FormatChunk(c.channels, c.rate),
                                                     Chunk("data", hasTail ? padded : input)}));
    JobOptions options;
    options.tailSeconds = c.tailSeconds;
    ASSERT_EQ(ApplyToPaths(dir / "in.wav", dir / "out.wav", c.effect, options),
              StreamOutcome::Complete);
    ASSERT_EQ(ApplyToPaths(dir / "padded.wav", dir / "expected.wav", c.effect),
              StreamOutcome::Complete);
    EXPECT_EQ(testing::ReadFile(dir / "out.wav"), testing::ReadFile(dir / "expected.wav"));

    // Written to a pipe, the header declares the tail before any of it is streamed.
    Bytes piped;
    options.output = CollectingStream(piped);
    const std::u16string in = Utf16((dir / "in.wav").string());
    const std::u16string effect = Utf16(c.effect);
    EXPECT_EQ(ApplyEffect(in.c_str(), nullptr, effect.c_str(), options), StreamOutcome::Complete);
    std::fclose(options.output);
    EXPECT_EQ(piped, testing::ReadFile(dir / "expected.wav"));
  }
}

struct ProgressLog {
  std::vector<std::pair<uint64_t, uint64_t>> calls;  // done, total
};

void Record(void* context, uint64_t done, uint64_t total) {
  static_cast<ProgressLog*>(context)->calls.emplace_back(done, total);
}

TEST(JobOptions, ProgressCountsUpToTheTotalBlockByBlock) {
  struct Case {
    const char* name;
    Bytes input;
    bool piped;
    double tailSeconds;
    StreamOutcome outcome;
    uint64_t total;
    uint64_t last;
  };
  const Bytes data = SampleBytes(300000);
  const Case cases[] = {
      {"several blocks", DeclaringWav(2, 8000, 300000, data), false, 0, StreamOutcome::Complete,
       300000, 300000},
      {"partial trailing frame", DeclaringWav(2, 8000, 8998, Prefix(data, 8998)), false, 0,
       StreamOutcome::Complete, 8996, 8996},
      {"tail counted", DeclaringWav(1, 8000, 3000, Prefix(data, 3000)), false, 0.25,
       StreamOutcome::Complete, 3000 + 4000, 3000 + 4000},
      {"no data", DeclaringWav(1, 8000, 0, {}), false, 0, StreamOutcome::Complete, 0, 0},
      {"input short: stops below the total", DeclaringWav(1, 8000, 9000, Prefix(data, 5000)), false,
       0, StreamOutcome::ReadFailed, 9000, 5000},
      {"pipe of unknown size", DeclaringWav(2, 8000, 0xFFFFFFFF, Prefix(data, 5000)), true, 0,
       StreamOutcome::Complete, 0, 5000},
      {"pipe ending before its declared size", DeclaringWav(2, 8000, 9000, Prefix(data, 5000)),
       true, 0, StreamOutcome::Complete, 9000, 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    Bytes input = c.input;
    testing::WriteFile(dir / "in.wav", input);
    ProgressLog log;
    JobOptions options;
    options.tailSeconds = c.tailSeconds;
    options.progress = Record;
    options.progressContext = &log;
    options.input = c.piped ? PipeLike(input) : nullptr;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ApplyToPaths(dir / "in.wav", dir / "out.wav", "echo", options), c.outcome);
    ::testing::internal::GetCapturedStderr();
    if (options.input != nullptr) std::fclose(options.input);

    ASSERT_FALSE(log.calls.empty());
    EXPECT_EQ(log.calls.front().first, 0u);
    for (std::size_t i = 0; i < log.calls.size(); ++i) {
      EXPECT_EQ(log.calls[i].second, c.total);
      if (i > 0) {
        EXPECT_GE(log.calls[i].first, log.calls[i - 1].first);
        EXPECT_LE(log.calls[i].first - log.calls[i - 1].first, kDirectBlockBytes);
      }
    }
    EXPECT_EQ(log.calls.back().first, c.last);
    EXPECT_EQ(testing::ReadFile(dir / "out.wav").size(), 44 + c.last);
  }
}

TEST(JobOptions, APipedInputIsReadToItsEndWithItsHeaderKept) {
  struct Case {
    const char* name;
    Bytes input;
    double tailSeconds;
    StreamOutcome outcome;
    std::string messages;
    Bytes output;  // as a pipe receives it
  };
  const Bytes data = SampleBytes(5002);
  const Case cases[] = {
      {"declared 0xFFFFFFFF", DeclaringWav(2, 8000, 0xFFFFFFFF, Prefix(data, 5002)), 0,
       StreamOutcome::Complete, "", OutputFile(2, 8000, 0xFFFFFFFF, Prefix(data, 5000))},
      {"declared 0x7FFFF000", DeclaringWav(1, 8000, 0x7FFFF000, Prefix(data, 4001)), 0,
       StreamOutcome::Complete, "", OutputFile(1, 8000, 0x7FFFF000, Prefix(data, 4000))},
      {"ends before its declared size", DeclaringWav(2, 8000, 5000, Prefix(data, 3002)), 0,
       StreamOutcome::Complete, "", OutputFile(2, 8000, 5000, Prefix(data, 3000))},
      {"stops at its declared size", DeclaringWav(1, 8000, 400, data), 0, StreamOutcome::Complete,
       "", OutputFile(1, 8000, 400, Prefix(data, 400))},
      {"chunk before the data skipped by reading",
       DeclaringWav(1, 8000, 600, Prefix(data, 600), Chunk("LIST", Bytes(3001, 7))), 0,
       StreamOutcome::Complete, "", OutputFile(1, 8000, 600, Prefix(data, 600))},
      {"unknown size with a tail: the header stays as declared",
       DeclaringWav(1, 8000, 0xFFFFFFFF, Prefix(data, 100)), 0.001, StreamOutcome::Complete, "",
       OutputFile(1, 8000, 0xFFFFFFFF,
                  [&data] {
                    Bytes out = Prefix(data, 100);
                    out.resize(100 + 16, 0);
                    return out;
                  }())},
      {"format after the first data chunk",
       RiffWave({Chunk("data", Prefix(data, 10)), FormatChunk(1, 8000)}),
       0,
       StreamOutcome::NotStarted,
       "Error: missing fmt or data chunk\n",
       {}},
      {"empty", {}, 0, StreamOutcome::NotStarted, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes input = c.input;
    char none[1] = {0};  // fmemopen needs a buffer even for no bytes
    Bytes output;
    char* messages = nullptr;
    std::size_t messagesSize = 0;
    JobOptions options;
    options.tailSeconds = c.tailSeconds;
    options.input = input.empty() ? fmemopen(none, 1, "r") : PipeLike(input);
    if (input.empty()) std::fgetc(options.input);  // at its end
    options.output = CollectingStream(output);
    options.messages = open_memstream(&messages, &messagesSize);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ApplyEffect(nullptr, nullptr, u"none", options), c.outcome);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    std::fclose(options.input);
    std::fclose(options.output);
    std::fclose(options.messages);
    EXPECT_EQ(std::string(messages), c.messages);
    std::free(messages);
    EXPECT_EQ(output, c.output);
  }
}

TEST(JobOptions, RegularFilesGivenAsStreamsKeepTheFileRules) {
  struct Case {
    const char* name;
    Bytes input;
    const char* outputMode;  // how the output stream is opened, after `outputBefore` is written
    Bytes outputBefore;
    StreamOutcome outcome;
    std::string message;
    Bytes output;
  };
  const Bytes data = SampleBytes(5000);
  const Bytes before = {'x', 'y'};
  const Case cases[] = {
      {"input short: a read failure, the header patched",
       DeclaringWav(2, 8000, 5000, Prefix(data, 3002)),
       "wb",
       {},
       StreamOutcome::ReadFailed,
       "Error: read failed\n",
       OutputFile(2, 8000, 3000, Prefix(data, 3000))},
      {"chunks after the data are walked",
       RiffWave(
           {FormatChunk(1, 8000), Chunk("data", Bytes(8, 1)), Chunk("data", Prefix(data, 30))}),
       "wb",
       {},
       StreamOutcome::Complete,
       "",
       OutputFile(1, 8000, 30, Prefix(data, 30))},
      {"appended output: the header kept", DeclaringWav(2, 8000, 5000, Prefix(data, 3002)), "ab",
       before, StreamOutcome::ReadFailed, "Error: read failed\n",
       [&] {
         Bytes out = before;
         const Bytes file = OutputFile(2, 8000, 5000, Prefix(data, 3000));
         out.insert(out.end(), file.begin(), file.end());
         return out;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    testing::WriteFile(dir / "in.wav", c.input);
    testing::WriteFile(dir / "out.wav", c.outputBefore);
    JobOptions options;
    options.input = std::fopen((dir / "in.wav").c_str(), "rb");
    options.output = std::fopen((dir / "out.wav").c_str(), c.outputMode);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ApplyEffect(nullptr, nullptr, u"none", options), c.outcome);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message);
    std::fclose(options.input);
    std::fclose(options.output);
    EXPECT_EQ(testing::ReadFile(dir / "out.wav"), c.output);
  }
}

TEST(JobOptions, RefusesAStreamThatIsTheOtherFile) {
  testing::TempDir dir;
  const Bytes input = RiffWave({FormatChunk(1, 8000), Chunk("data", SampleBytes(100))});
  testing::WriteFile(dir / "in.wav", input);
  const std::u16string path = Utf16((dir / "in.wav").string());
  for (int streams = 1; streams <= 3; ++streams) {  // input, output, both
    SCOPED_TRACE(streams);
    JobOptions options;
    if (streams & 1) options.input = std::fopen((dir / "in.wav").c_str(), "rb");
    if (streams & 2) options.output = std::fopen((dir / "in.wav").c_str(), "ab");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ApplyEffect(path.c_str(), path.c_str(), u"none", options), StreamOutcome::NotStarted);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: input and output are the same file\n");
    if (options.input != nullptr) std::fclose(options.input);
    if (options.output != nullptr) std::fclose(options.output);
    EXPECT_EQ(testing::ReadFile(dir / "in.wav"), input);
  }
}

}  // namespace
}  // namespace wavfx
