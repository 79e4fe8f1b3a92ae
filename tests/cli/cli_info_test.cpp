// wavfx --info FILE...
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_support.h"

namespace wavfx {
namespace {

using testing::Bytes;

Bytes WithRates(uint32_t byteRate, uint16_t blockAlign, const Bytes& data) {
  Bytes file = testing::DeclaringWav(2, 44100, static_cast<uint32_t>(data.size()), data);
  for (std::size_t i = 0; i < 4; ++i)
    file[28 + i] = static_cast<uint8_t>(byteRate >> (8 * i));
  file[32] = static_cast<uint8_t>(blockAlign);
  file[33] = static_cast<uint8_t>(blockAlign >> 8);
  return file;
}

const std::string kStrictPath =
    "  path:        strict 16-bit path, exactly the library's WAVEffect job (a --format, --bits "
    "or non-WAV output name, or a chain that changes the rate, the channels or the length, takes "
    "the general path)\n";

TEST(CliInfo, ShowsWhatTheReaderSeesOrWhyItRefuses) {
  struct Case {
    const char* name;
    Bytes file;
    int exitCode;
    std::string report;  // after the line naming the file
  };
  const Bytes data = testing::SampleBytes(8000);
  const Bytes pcm8 = testing::RiffWave(
      {testing::FormatChunk(1, 8000, 8), testing::Chunk("data", testing::SampleBytes(10))});
  Bytes cutFormat = testing::DeclaringWav(1, 8000, 0, {});
  cutFormat.resize(30);
  const Case cases[] = {
      {"accepted", testing::DeclaringWav(2, 8000, 8000, data), 0,
       "  channels:    2\n"
       "  sample rate: 8000 Hz\n"
       "  bits:        16\n"
       "  data size:   8000 bytes at offset 44\n"
       "  duration:    0.250 s (2000 frames)\n" +
           kStrictPath},
      {"partial frame and missing bytes", testing::DeclaringWav(2, 8000, 9002, data), 0,
       "  channels:    2\n"
       "  sample rate: 8000 Hz\n"
       "  bits:        16\n"
       "  data size:   9002 bytes at offset 44\n"
       "  duration:    0.281 s (2250 frames)\n"
       "  note:        the last 2 bytes are not a whole frame and are left out\n"
       "  note:        the file holds only 8000 data bytes: streaming would end with a read "
       "failure\n" +
           kStrictPath},
      {"stored rates replaced", WithRates(7, 1, testing::SampleBytes(40)), 0,
       "  channels:    2\n"
       "  sample rate: 44100 Hz\n"
       "  bits:        16\n"
       "  data size:   40 bytes at offset 44\n"
       "  duration:    0.000 s (10 frames)\n"
       "  note:        stored block align 1 and byte rate 7 are written as 4 and 176400\n" +
           kStrictPath},
      {"frames too wide", testing::DeclaringWav(1025, 8000, 0, {}), 0,
       "  channels:    1025\n"
       "  sample rate: 8000 Hz\n"
       "  bits:        16\n"
       "  data size:   0 bytes at offset 44\n"
       "  duration:    0.000 s (0 frames)\n"
       "  note:        frames wider than a block (over 1024 channels): nothing would be "
       "streamed\n" +
           kStrictPath},
      {"8-bit", pcm8, 0,
       "  container:   WAV (Microsoft)\n"
       "  encoding:    8-bit unsigned PCM (decoded to 8-bit integers)\n"
       "  channels:    1\n"
       "  sample rate: 8000 Hz\n"
       "  duration:    0.001 s (10 frames)\n"
       "  path:        general, at native precision: the strict 16-bit reader refuses it "
       "(only16-bit PCM supported (8))\n"},
      {"empty",
       {},
       1,
       "  refused:     file of 0 bytes ends inside its 12-byte RIFF header (refused without a "
       "message)\n"
       "  general:     refused too: not a recognised audio format\n"},
      {"cut inside the format chunk", cutFormat, 1,
       "  refused:     file ends inside its format chunk (refused without a message)\n"
       "  general:     refused too: Error in WAV file. No 'data' chunk marker.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string path = (dir / "f.wav").string();
    testing::WriteFile(path, c.file);
    const testing::CliRun run = testing::RunCli({"--info", path});
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(std::string(run.out.begin(), run.out.end()), path + "\n" + c.report);
    EXPECT_EQ(run.err, "");
  }
}

TEST(CliInfo, ReadsSeveralFilesAndStandardInput) {
  testing::TempDir dir;
  testing::WriteFile(dir / "good.wav", testing::DeclaringWav(1, 8000, 16000, Bytes(16000, 0)));
  const std::string good = (dir / "good.wav").string();
  const std::string missing = (dir / "missing.wav").string();
  const Bytes piped = testing::DeclaringWav(1, 8000, 0xFFFFFFFF, Bytes(100, 0));
  const testing::CliRun run = testing::RunCli({"--info", good, "-", missing}, {piped});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(std::string(run.out.begin(), run.out.end()),
            good +
                "\n"
                "  channels:    1\n"
                "  sample rate: 8000 Hz\n"
                "  bits:        16\n"
                "  data size:   16000 bytes at offset 44\n"
                "  duration:    1.000 s (8000 frames)\n" +
                kStrictPath +
                "\n"
                "(standard input)\n"
                "  channels:    1\n"
                "  sample rate: 8000 Hz\n"
                "  bits:        16\n"
                "  data size:   unknown (declared 0xFFFFFFFF), read to the end\n"
                "  duration:    unknown\n" +
                kStrictPath + "\n" +
                missing + "\n  refused:     cannot open input: No such file or directory\n");
}

}  // namespace
}  // namespace wavfx
