// Chains on the command line: the same bytes as the effect for a one-stage chain at its
// defaults, and a refused chain leaves everything as it was.
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_support.h"

namespace wavfx {
namespace {

using testing::RunCli;

TEST(CliChain, RunsChainsInEveryMode) {
  testing::TempDir dir;
  const std::string in = (dir / "in.wav").string();
  testing::WriteFile(in, testing::ReadFile(WAVFX_DEMO_WAV));
  const std::string plain = (dir / "plain.wav").string();
  const std::string chain = (dir / "chain.wav").string();
  ASSERT_EQ(RunCli({in, plain, "echo"}).exitCode, 0);
  const testing::CliRun run = RunCli({in, chain, "ECHO=delay=350:Feedback=0.45"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(testing::ReadFile(chain), testing::ReadFile(plain));

  // Batch, tail and pipes take chains as well.
  std::filesystem::create_directory(dir / "out");
  const auto batch = RunCli(
      {"-q", "--tail", "1", "-e", "lowpass=cutoff=900,reverb", "-o", (dir / "out").string(), in});
  ASSERT_EQ(batch.exitCode, 0) << batch.err;
  const auto single = RunCli({"--tail", "1", in, "-", "lowpass=cutoff=900,reverb"},
                             {{}, testing::StreamKind::Pipe, testing::StreamKind::File});
  ASSERT_EQ(single.exitCode, 0);
  EXPECT_EQ(testing::ReadFile(dir / "out" / "in.wav"), single.out);
}

// Stages that measure their input first read a file or a pipe alike, and reach their level.
TEST(CliChain, MeasuresBeforeNormalising) {
  testing::TempDir dir;
  const std::string in = (dir / "in.wav").string();
  testing::WriteFile(in, testing::ReadFile(WAVFX_DEMO_WAV));
  const std::string chain = "gain=db=-12,norm=level=-3";
  const std::string file = (dir / "file.wav").string();
  const testing::CliRun run = RunCli({in, file, chain});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("Note: norm (stage 2): its input measures"), std::string::npos);
  EXPECT_NE(run.err.find("; its output: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(" -3.00 dBFS, "), std::string::npos) << run.err;
  const auto piped =
      RunCli({"-q", "-", "-", chain},
             {testing::ReadFile(in), testing::StreamKind::Pipe, testing::StreamKind::Pipe});
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
  const testing::Bytes written = testing::ReadFile(file);
  EXPECT_EQ(testing::Bytes(piped.out.begin() + 44, piped.out.end()),
            testing::Bytes(written.begin() + 44, written.end()));
  const auto stats = RunCli({"--stats", "--json", file});
  const std::string json(stats.out.begin(), stats.out.end());
  EXPECT_NE(json.find("\"sample_peak_dbfs\":-3.0"), std::string::npos) << json;
  // A name in another encoding than UTF-8 still gives valid JSON.
  const std::string odd = (dir / "caf\xE9 \"q\".wav").string();
  testing::WriteFile(odd, written);
  const auto named = RunCli({"--stats", "--json", odd});
  const std::string text(named.out.begin(), named.out.end());
  EXPECT_NE(text.find("caf\xEF\xBF\xBD \\\"q\\\".wav\","), std::string::npos) << text;
}

TEST(CliChain, RefusedChainTouchesNothing) {
  testing::TempDir dir;
  const std::string in = (dir / "in.wav").string();
  const std::string out = (dir / "out.wav").string();
  testing::WriteFile(in, testing::ReadFile(WAVFX_DEMO_WAV));
  testing::WriteFile(out, {1, 2, 3});
  const testing::CliRun run = RunCli({in, out, "lowpass,echo=feedback=2"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "Error: stage 2 (echo): feedback '2' is out of range (-0.95 to 0.95)\n");
  EXPECT_EQ(testing::ReadFile(out), (testing::Bytes{1, 2, 3}));
  std::filesystem::create_directory(dir / "batch");
  const auto batch = RunCli({"-e", "echo,", "-o", (dir / "batch").string(), in});
  EXPECT_EQ(batch.exitCode, 1);
  EXPECT_EQ(batch.err, "Error: stage 2 is empty: an effect name is missing\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir / "batch"));
}

}  // namespace
}  // namespace wavfx
