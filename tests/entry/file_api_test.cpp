// wavfx_process_file and 32-bit streaming: the command line's batch job behind the C API.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dsp/pcm_conversion.h"
#include "support/wav_files.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

TEST(FileApi, RunsTheBatchJobOfEachPathAndSaysWhyItStopped) {
  testing::TempDir dir;
  const std::string demo = (dir / "demo.wav").string();
  testing::WriteFile(demo, testing::ReadFile(WAVFX_DEMO_WAV));
  const std::string strict = (dir / "strict.wav").string();
  const std::string reference = (dir / "reference.wav").string();
  ASSERT_EQ(WAVEffect(testing::Utf16(demo).c_str(), testing::Utf16(reference).c_str(), u"echo"),
            999);
  struct Case {
    std::string output;
    const char* chain;
    const char* bits;
    int32_t outcome;
    const char* message;
  };
  const Case cases[] = {
      {strict, "echo", nullptr, WAVFX_JOB_COMPLETE, ""},
      {(dir / "wide.flac").string(), "echo=delay=200", "24", WAVFX_JOB_COMPLETE, ""},
      {(dir / "never.wav").string(), "echo=wet=3", nullptr, WAVFX_JOB_NOT_STARTED,
       "stage 1 (echo): wet '3' is out of range (0 to 1)"},
      {demo, "echo", nullptr, WAVFX_JOB_NOT_STARTED, "input and output are the same file"},
  };
  for (const Case& c : cases) {
    wavfx_file_options options{};
    options.bits = c.bits;
    wavfx_file_result result;
    EXPECT_EQ(wavfx_process_file(demo.c_str(), c.output.c_str(), c.chain, &options, &result),
              c.outcome);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_STREQ(result.message, c.message) << c.chain;
    if (c.outcome == WAVFX_JOB_COMPLETE) {
      EXPECT_EQ(result.frames, 176400u);
    }
  }
  EXPECT_EQ(testing::ReadFile(strict), testing::ReadFile(reference));
}

TEST(FileApi, Int32SamplesFollowTheirDepthsRule) {
  std::vector<int32_t> samples(2 * 4000);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int32_t>((i * 2654435761u) ^ (i << 20));
  }
  std::vector<float> values(samples.size());
  IntsToFloats(samples.data(), values.data(), samples.size(), 32);
  wavfx_effect* floats = wavfx_chain_create("lowpass,widen=width=3", 2, 44100, nullptr);
  wavfx_effect* ints = wavfx_chain_create("lowpass,widen=width=3", 2, 44100, nullptr);
  ASSERT_EQ(wavfx_effect_process_float(floats, values.data(), 4000), WAVFX_OK);
  ASSERT_EQ(wavfx_effect_process_int32(ints, samples.data(), 4000), WAVFX_OK);
  std::vector<int32_t> expected(samples.size());
  FloatsToInts(values.data(), expected.data(), values.size(), 32);
  EXPECT_EQ(samples, expected);
  wavfx_effect_destroy(floats);
  wavfx_effect_destroy(ints);
}

}  // namespace
}  // namespace wavfx
