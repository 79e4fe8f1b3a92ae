// '-' as INPUT or OUTPUT, and --tail, through the command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "entry/apply_effect.h"

namespace wavfx {
namespace {

using testing::Bytes;
using testing::DeclaringWav;
using testing::Prefix;
using testing::SampleBytes;
using testing::StreamKind;
using testing::WrittenWav;

Bytes WithSilence(Bytes bytes, std::size_t count) {
  bytes.resize(bytes.size() + count, 0);
  return bytes;
}

TEST(CliPipes, StreamsStandardInputAndOutput) {
  struct Case {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the test directory
    Bytes in;                       // standard input, or @/in.wav when it is not read
    StreamKind input;
    StreamKind output;
    int exitCode;
    std::string err;
    Bytes written;         // to standard output, or to @/out.wav when that is named
    bool endless = false;  // standard input goes on with silence until it is no longer read
  };
  const Bytes data = SampleBytes(5002);
  const Bytes unknownSize = DeclaringWav(2, 8000, 0xFFFFFFFF, data);
  const Bytes shortFile = DeclaringWav(2, 8000, 5000, Prefix(data, 3002));
  const Case cases[] = {
      {"pipe to pipe, size unknown",
       {"-", "-", "none"},
       unknownSize,
       StreamKind::Pipe,
       StreamKind::Pipe,
       0,
       "",
       WrittenWav(2, 8000, 0xFFFFFFFF, Prefix(data, 5000))},
      {"pipe ending before its declared size",
       {"-", "-", "none"},
       shortFile,
       StreamKind::Pipe,
       StreamKind::Pipe,
       0,
       "",
       WrittenWav(2, 8000, 5000, Prefix(data, 3000))},
      {"a pipe measured first, ending before its declared size",
       {"-q", "-", "-", "norm"},
       DeclaringWav(2, 8000, 5000, Bytes(3002, 0)),
       StreamKind::Pipe,
       StreamKind::Pipe,
       0,
       "",
       WrittenWav(2, 8000, 5000, Bytes(3000, 0))},
      {"pipe to a file: the header made true",
       {"-", "@/out.wav", "none"},
       unknownSize,
       StreamKind::Pipe,
       StreamKind::File,
       0,
       "",
       WrittenWav(2, 8000, 5000, Prefix(data, 5000))},
      {"file to a pipe: the header as first written",
       {"@/in.wav", "-", "none"},
       shortFile,
       StreamKind::Pipe,
       StreamKind::Pipe,
       2,
       "Error: read failed\n",
       WrittenWav(2, 8000, 5000, Prefix(data, 3000))},
      {"standard streams that are files keep the file rules",
       {"-", "-", "none"},
       shortFile,
       StreamKind::File,
       StreamKind::File,
       2,
       "Error: read failed\n",
       WrittenWav(2, 8000, 3000, Prefix(data, 3000))},
      {"tail declared before it is streamed",
       {"--tail", "0.001", "-", "-", "none"},
       DeclaringWav(1, 8000, 100, Prefix(data, 100)),
       StreamKind::Pipe,
       StreamKind::Pipe,
       0,
       "",
       WrittenWav(1, 8000, 116, WithSilence(Prefix(data, 100), 16))},
      {"tail after a pipe of unknown size",
       {"--tail=0.001", "-", "-", "none"},
       DeclaringWav(1, 8000, 0xFFFFFFFF, Prefix(data, 100)),
       StreamKind::Pipe,
       StreamKind::Pipe,
       0,
       "",
       WrittenWav(1, 8000, 0xFFFFFFFF, WithSilence(Prefix(data, 100), 16))},
      {"an endless pipe through a trim: read up to the trim's end",
       {"-", "-", "trim=start=10s:end=110s"},
       DeclaringWav(1, 8000, 0xFFFFFFFF, Prefix(data, 400)),
       StreamKind::Pipe,
       StreamKind::Pipe,
       0,
       "",
       WrittenWav(1, 8000, 0x7FFFF000, Bytes(data.begin() + 20, data.begin() + 220)),
       true},
      {"empty input", {"-", "-", "none"}, {}, StreamKind::Pipe, StreamKind::Pipe, 1, "", {}},
      {"not a WAV stream",
       {"-", "-", "none"},
       Bytes(20, 'x'),
       StreamKind::Pipe,
       StreamKind::Pipe,
       1,
       "Error: not a RIFF file\n",
       {}},
      {"output that cannot be created",
       {"-", "@/missing/out.wav", "none"},
       unknownSize,
       StreamKind::Pipe,
       StreamKind::File,
       1,
       "Error: cannot open output '@/missing/out.wav'\n",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string root = dir.path.string();
    testing::WriteFile(dir / "in.wav", c.in);
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
      args.push_back(testing::Expand(arg, root));
    const bool readsStdin = args[args.size() - 3] == "-";
    const bool writesStdout = args[args.size() - 2] == "-";
    const testing::CliRun run =
        testing::RunCli(args, {readsStdin ? c.in : Bytes{}, c.input, c.output, c.endless});
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.err, testing::Expand(c.err, root));
    if (writesStdout) {
      EXPECT_EQ(run.out, c.written);
    } else {
      EXPECT_EQ(run.out, Bytes{});
      EXPECT_EQ(testing::ReadFile(dir / "out.wav"), c.written);
    }
  }
}

TEST(CliPipes, APipelineWritesWhatTheFileJobWrites) {
  testing::TempDir dir;
  const std::u16string in = testing::Utf16(WAVFX_DEMO_WAV);
  const std::u16string out = testing::Utf16((dir / "file.wav").string());
  for (const std::string effect : {"echo", "reverb", "antique"}) {
    SCOPED_TRACE(effect);
    ASSERT_EQ(ApplyEffect(in.c_str(), out.c_str(), testing::Utf16(effect).c_str()),
              StreamOutcome::Complete);
    const testing::CliRun run =
        testing::RunCli({"-", "-", effect},
                        {testing::ReadFile(WAVFX_DEMO_WAV), StreamKind::Pipe, StreamKind::Pipe});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, testing::ReadFile(dir / "file.wav"));
  }
}

}  // namespace
}  // namespace wavfx
