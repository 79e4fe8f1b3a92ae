// Command lines that make no command: usage and the reason on standard error, exit status 1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_support.h"

namespace wavfx {
namespace {

TEST(CliOptions, RefusesWhatMakesNoCommand) {
  struct Case {
    std::vector<std::string> args;
    std::string error;  // the last line of standard error, after the usage
  };
  const Case cases[] = {
      {{"--list", "--info", "f.wav"},
       "Error: --help, --version, --list, --info and --stats do not combine"},
      {{"--info", "f.wav", "--info"}, "Error: option '--info' is given twice"},
      {{"--stats", "--tail", "1", "f.wav"}, "Error: --stats takes only --json and files"},
      {{"--json", "f.wav", "g.wav", "h.wav"}, "Error: --json goes with --list or --stats"},
      {{"--info"}, "Error: --info needs a FILE"},
      {{"--info", "--tail", "1", "f.wav"}, "Error: --info takes only files"},
      {{"-e", "echo", "f.wav"}, "Error: a batch needs -o OUTDIR"},
      {{"-o", "out", "f.wav"}, "Error: a batch needs -e EFFECT"},
      {{"-e", "echo", "-o", "out"}, "Error: a batch needs at least one FILE"},
      {{"-e", "echo", "-o", "out", "-"}, "Error: '-' cannot be part of a batch"},
      {{"-j", "2", "a", "b", "c"}, "Error: -j applies to a batch (-e EFFECT -o OUTDIR FILE...)"},
      {{"-e", "echo", "-o", "out", "-j", "0", "f.wav"},
       "Error: -j needs a whole number from 1 to 256, not '0'"},
      {{"-e", "echo", "-o", "out", "-j4x", "f.wav"},
       "Error: -j needs a whole number from 1 to 256, not '4x'"},
      {{"--tail", "-1", "a", "b", "c"},
       "Error: --tail needs a number of seconds from 0 to 3600, not '-1'"},
      {{"--tail=inf", "a", "b", "c"},
       "Error: --tail needs a number of seconds from 0 to 3600, not 'inf'"},
      {{"--tail", "0x10", "a", "b", "c"},
       "Error: --tail needs a number of seconds from 0 to 3600, not '0x10'"},
      {{"--tail", "3601", "a", "b", "c"},
       "Error: --tail needs a number of seconds from 0 to 3600, not '3601'"},
      {{"a", "b", "c", "--tail"}, "Error: option '--tail' needs a value"},
      {{"--quiet=yes", "a", "b", "c"}, "Error: option '--quiet' takes no value"},
      {{"-qx", "a", "b", "c"}, "Error: unknown option '-qx'"},
      {{"--tail", "1", "a", "b"}, "       wavfx --list [--json] | --help [EFFECT] | --version"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.error);
    const testing::CliRun run = testing::RunCli(c.args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, testing::Bytes{});
    EXPECT_EQ(run.err.rfind("Usage: wavfx INPUT OUTPUT EFFECT|CHAIN\n", 0), 0u);
    EXPECT_EQ(run.err.substr(run.err.rfind('\n', run.err.size() - 2) + 1), c.error + "\n");
  }
}

TEST(CliOptions, TakesOptionsAnywhereAndOperandsAfterDoubleDash) {
  testing::TempDir dir;
  const testing::Bytes input = testing::DeclaringWav(1, 8000, 20, testing::SampleBytes(20));
  testing::WriteFile(dir / "-e", input);
  const std::string out = (dir / "out.wav").string();
  const testing::CliRun run =
      testing::RunCli({"--tail", "0.001", "--", (dir / "-e").string(), out, "none"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  testing::Bytes expected = testing::SampleBytes(20);
  expected.resize(36, 0);
  EXPECT_EQ(testing::ReadFile(out), testing::WrittenWav(1, 8000, 36, expected));
  const testing::CliRun after = testing::RunCli({(dir / "-e").string(), out, "none", "-q"});
  EXPECT_EQ(after.exitCode, 0);
  EXPECT_EQ(testing::ReadFile(out), testing::WrittenWav(1, 8000, 20, testing::SampleBytes(20)));
  // Three arguments are INPUT OUTPUT EFFECT even when one looks like an unknown option.
  const testing::CliRun unknown = testing::RunCli({(dir / "-e").string(), out, "-x"});
  EXPECT_EQ(unknown.exitCode, 0);
  EXPECT_EQ(unknown.err,
            "Note: '-x' names no effect: the audio was copied unchanged (wavfx --list shows "
            "them)\n");
}

}  // namespace
}  // namespace wavfx
