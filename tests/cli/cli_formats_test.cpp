// Formats on the command line: which path a file takes, and what the general path reports.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

#include "cli/cli_support.h"

namespace wavfx {
namespace {

using testing::RunCli;

std::string WriteSound(const testing::TempDir& dir, const char* name, int format,
                       const std::vector<float>& values, int channels = 2) {
  const std::string path = (dir / name).string();
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = 48000;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(file, nullptr);
  sf_writef_float(file, values.data(), static_cast<sf_count_t>(values.size()) / channels);
  sf_close(file);
  return path;
}

std::vector<float> Tone(std::size_t count) {
  std::vector<float> values(count);
  for (std::size_t i = 0; i < count; ++i)
    values[i] = 0.5f * std::sin(0.01f * static_cast<float>(i));
  return values;
}

TEST(CliFormats, TakesTheRightPathAndSaysWhy) {
  testing::TempDir dir;
  const std::string wav24 =
      WriteSound(dir, "in24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, Tone(9000));
  const std::string demo = (dir / "demo.wav").string();
  testing::WriteFile(demo, testing::ReadFile(WAVFX_DEMO_WAV));
  struct Case {
    std::vector<std::string> args;
    std::string infoLine;  // in --info of the first argument
  };
  const Case cases[] = {
      {{wav24, (dir / "a.wav").string(), "echo"}, "path:        general, at native precision"},
      {{wav24, (dir / "b.flac").string(), "reverb"}, "encoding:    24-bit PCM"},
      {{demo, (dir / "c.wav").string(), "echo"}, "path:        strict 16-bit path"},
      {{"--bits", "24", demo, (dir / "d.wav").string(), "echo"}, "bits:        16"},
  };
  for (const Case& c : cases) {
    const auto run = RunCli(c.args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("Error"), std::string::npos) << run.err;
    const auto info = RunCli({"--info", c.args[c.args.size() - 3]});
    const std::string text(info.out.begin(), info.out.end());
    EXPECT_NE(text.find(c.infoLine), std::string::npos) << text;
  }
  // The strict path wrote exactly WAVEffect's file; --bits 24 took the general path.
  EXPECT_EQ(testing::ReadFile(dir / "c.wav").size(), testing::ReadFile(demo).size());
  SF_INFO info{};
  SNDFILE* file = sf_open((dir / "d.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
  sf_close(file);
  file = sf_open((dir / "b.flac").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  sf_close(file);
}

TEST(CliFormats, CountsNonFiniteInputsAndClippedOutputs) {
  testing::TempDir dir;
  auto values = Tone(4000);
  values[10] = NAN;
  values[11] = INFINITY;
  const std::string in = WriteSound(dir, "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, values);
  const auto run = RunCli({in, (dir / "out.wav").string(), "lowpass", "--bits", "16"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "Note: 2 non-finite input samples (NaN or infinite) read as 0\n");
  const auto loud =
      RunCli({in, (dir / "loud.flac").string(), "echo=delay=1:feedback=0.95:wet=1:dry=1"});
  EXPECT_EQ(loud.exitCode, 0);
  EXPECT_NE(loud.err.find("samples clipped to the output's range"), std::string::npos) << loud.err;
}

TEST(CliFormats, ReadsAPipeCaptureSavedToDiskToItsEnd) {
  testing::TempDir dir;
  const testing::Bytes body = testing::SampleBytes(40000);
  const std::string in = (dir / "capture.wav").string();
  testing::WriteFile(in, testing::DeclaringWav(2, 44100, 0xFFFFFFFF, body));
  const std::string out = (dir / "out.wav").string();
  const auto run = RunCli({in, out, "none"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(testing::ReadFile(out), testing::WrittenWav(2, 44100, 40000, body));
}

TEST(CliFormats, RefusesWhatNoReaderTakes) {
  testing::TempDir dir;
  const std::string in = (dir / "noise.mp3").string();
  testing::WriteFile(in, testing::SampleBytes(3000));
  const std::string out = (dir / "out.wav").string();
  const auto run = RunCli({in, out, "echo"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace wavfx
