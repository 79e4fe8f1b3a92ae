// The general path over real files: lossless formats round trip bit for bit through `none`, the
// samples of an effect are those of the float core at the file's depth, metadata is carried, and
// an independent decoder (SoX) reads what is written.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dsp/pcm_conversion.h"
#include "engine/chain.h"
#include "entry/general_job.h"
#include "formats/sound_file.h"
#include "support/wav_files.h"

namespace wavfx {
namespace {

constexpr int kFrames = 5000;
constexpr int kChannels = 2;
constexpr int kRate = 44100;

// Samples of full depth: the low bits vary too.
std::vector<double> Signal() {
  std::vector<double> values(kFrames * kChannels);
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] =
        0.9 * std::sin(0.0123 * static_cast<double>(i)) + 1e-6 * static_cast<double>(i % 97);
  }
  return values;
}

void Write(const std::string& path, int format, const std::vector<double>& values,
           const char* title = nullptr, int frames = kFrames, int rate = kRate) {
  SF_INFO info{};
  info.channels = kChannels;
  info.samplerate = rate;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  if (title != nullptr) sf_set_string(file, SF_STR_TITLE, title);
  sf_writef_double(file, values.data(), frames);
  CloseOutput(file, static_cast<uint64_t>(frames));
}

// The samples of a file as libsndfile returns them: ints left-justified, floats as stored.
struct Decoded {
  SF_INFO info{};
  std::vector<int32_t> ints;
  std::vector<double> doubles;
  std::string title;
};

Decoded Read(const std::string& path) {
  Decoded decoded;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &decoded.info);
  EXPECT_NE(file, nullptr) << path;
  if (file == nullptr) return decoded;
  const auto count = static_cast<std::size_t>(decoded.info.frames * decoded.info.channels);
  decoded.ints.resize(count);
  decoded.doubles.resize(count);
  sf_readf_int(file, decoded.ints.data(), decoded.info.frames);
  sf_seek(file, 0, SEEK_SET);
  sf_readf_double(file, decoded.doubles.data(), decoded.info.frames);
  if (const char* title = sf_get_string(file, SF_STR_TITLE)) decoded.title = title;
  sf_close(file);
  return decoded;
}

JobResult RunJob(const std::string& in, const std::string& out, const char* chainText,
                 const std::string& bits = "") {
  ChainRecipe recipe;
  ChainError error;
  EXPECT_TRUE(ParseChain(chainText, recipe, error)) << error.message;
  GeneralJob job;
  job.input = in.c_str();
  job.output = out.c_str();
  job.chain = &recipe;
  job.bits = bits;
  return RunGeneralJob(job);
}

struct Format {
  const char* extension;
  int format;
};

const Format kLossless[] = {
    {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},   {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
    {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32},   {"wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
    {"wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE},   {"wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24},
    {"rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_24}, {"w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT},
    {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_S8}, {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
    {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24}, {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
    {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_32}, {"aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
    {"caf", SF_FORMAT_CAF | SF_FORMAT_PCM_24},   {"caf", SF_FORMAT_CAF | SF_FORMAT_DOUBLE},
};

TEST(GeneralPath, NoneGivesBackEverySampleOfEveryLosslessFormat) {
  testing::TempDir dir;
  const auto signal = Signal();
  for (const Format& f : kLossless) {
    const std::string in = (dir / (std::string("in.") + f.extension)).string();
    const std::string out = (dir / (std::string("out.") + f.extension)).string();
    Write(in, f.format, signal, "a title");
    const JobResult result = RunJob(in, out, "none");
    ASSERT_EQ(result.outcome, StreamOutcome::Complete) << in << ": " << result.reason;
    EXPECT_EQ(result.frames, static_cast<uint64_t>(kFrames));
    const Decoded before = Read(in);
    const Decoded after = Read(out);
    EXPECT_EQ(after.info.format & SF_FORMAT_SUBMASK, f.format & SF_FORMAT_SUBMASK) << out;
    EXPECT_EQ(after.ints, before.ints) << out;
    EXPECT_EQ(after.doubles, before.doubles) << out;
    if ((f.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_W64) {
      EXPECT_EQ(after.title, "a title") << out;
    }
  }
}

// The size a RIFF or AIFF file declares of itself, and what it holds after those first 8 bytes.
std::pair<uint64_t, uint64_t> DeclaredAndHeldSize(const std::string& path) {
  const testing::Bytes bytes = testing::ReadFile(path);
  if (bytes.size() < 8) return {0, bytes.size()};
  const bool big = std::memcmp(bytes.data(), "FORM", 4) == 0;
  if (!big && std::memcmp(bytes.data(), "RIFF", 4) != 0) return {0, 0};
  uint64_t declared = 0;
  for (int i = 0; i < 4; ++i)
    declared |= uint64_t{bytes[big ? 4 + i : 7 - i]} << (8 * (3 - i));
  return {declared, bytes.size() - 8};
}

// No frames in, a valid file with none out, that the general reader takes again (libsndfile
// writes FLAC's header only with the first frames, and a WAV file's RIFF size 8 bytes short).
TEST(GeneralPath, AnEmptyInputGivesAnEmptyFileOfEveryLosslessFormat) {
  testing::TempDir dir;
  for (const Format& f : kLossless) {
    const std::string in = (dir / (std::string("in.") + f.extension)).string();
    const std::string out = (dir / (std::string("out.") + f.extension)).string();
    const std::string again = (dir / (std::string("again.") + f.extension)).string();
    Write(in, f.format, {}, nullptr, 0);
    for (const auto& [from, to] : {std::pair{in, out}, std::pair{out, again}}) {
      const JobResult result = RunJob(from, to, "echo");
      ASSERT_EQ(result.outcome, StreamOutcome::Complete) << from << ": " << result.reason;
      EXPECT_EQ(result.frames, 0u);
      const auto [declared, held] = DeclaredAndHeldSize(to);
      EXPECT_EQ(declared, held) << to;
    }
  }
}

// An effect at depth b computes on (float)s * 2^-(b-1) and writes the rounded result at depth b:
// exactly what the float core gives for those values.
TEST(GeneralPath, EffectsRunOnTheFloatCoreAtNativeDepth) {
  testing::TempDir dir;
  const auto signal = Signal();
  struct Case {
    int format;
    int bits;  // 0: float samples
  };
  const Case cases[] = {{SF_FORMAT_WAV | SF_FORMAT_PCM_24, 24},
                        {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 16},
                        {SF_FORMAT_WAV | SF_FORMAT_PCM_32, 32},
                        {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8},
                        {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0}};
  const char* chainText = "echo=delay=20:wet=0.2:dry=1,tremolo=rate=30:depth=1,lowpass=cutoff=8000";
  for (const Case& c : cases) {
    const std::string in = (dir / "in.wav").string();
    const std::string out = (dir / "out.wav").string();
    Write(in, c.format, signal);
    const JobResult result = RunJob(in, out, chainText);
    ASSERT_EQ(result.outcome, StreamOutcome::Complete) << result.reason;
    const Decoded input = Read(in);
    std::vector<float> values(input.ints.size());
    if (c.bits == 0) {
      for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<float>(input.doubles[i]);
    } else {
      std::vector<int32_t> native(input.ints.size());
      for (std::size_t i = 0; i < native.size(); ++i)
        native[i] = input.ints[i] >> (32 - c.bits);
      IntsToFloats(native.data(), values.data(), values.size(), c.bits);
    }
    ChainRecipe recipe;
    ChainError error;
    ASSERT_TRUE(ParseChain(chainText, recipe, error));
    EffectChain chain;
    InitChain(chain, recipe, kChannels, kRate);
    ProcessChainFloats(chain, values.data(), kFrames);
    ReleaseChain(chain);
    const Decoded output = Read(out);
    if (c.bits == 0) {
      for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(output.doubles[i], static_cast<double>(values[i])) << i;
    } else {
      std::vector<int32_t> expected(values.size());
      const uint64_t clipped = FloatsToInts(values.data(), expected.data(), values.size(), c.bits);
      EXPECT_EQ(result.clipped, clipped);
      EXPECT_GT(clipped, 0u);  // the tremolo drives the peaks past full scale
      for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(output.ints[i] >> (32 - c.bits), expected[i]) << c.bits << " " << i;
    }
  }
}

TEST(GeneralPath, SoxReadsWhatIsWritten) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
  testing::TempDir dir;
  const std::string in = (dir / "in.wav").string();
  Write(in, SF_FORMAT_WAV | SF_FORMAT_PCM_24, Signal());
  for (const char* name : {"out.flac", "out.aiff", "out.wav"}) {
    const std::string out = (dir / name).string();
    ASSERT_EQ(RunJob(in, out, "chorus", "24").outcome, StreamOutcome::Complete);
    const std::string raw = (dir / "sox.raw").string();
    ASSERT_EQ(std::system(("sox " + out + " -t raw -e signed -b 32 " + raw).c_str()), 0) << name;
    const auto bytes = testing::ReadFile(raw);
    const Decoded ours = Read(out);
    ASSERT_EQ(bytes.size(), ours.ints.size() * 4) << name;
    for (std::size_t i = 0; i < ours.ints.size(); ++i) {
      int32_t value;
      std::memcpy(&value, bytes.data() + 4 * i, 4);
      ASSERT_EQ(value, ours.ints[i]) << name << " " << i;
    }
  }
}

TEST(GeneralPath, RefusesWhatItCannotReadOrWrite) {
  testing::TempDir dir;
  const std::string in = (dir / "in.wav").string();
  Write(in, SF_FORMAT_WAV | SF_FORMAT_FLOAT, Signal());
  // FLAC's encoder takes rates from 65536 Hz on in whole tens only, and none above 655350 Hz.
  const std::string odd = (dir / "odd.wav").string(), fast = (dir / "fast.wav").string();
  Write(odd, SF_FORMAT_WAV | SF_FORMAT_PCM_16, Signal(), nullptr, kFrames, 179072);
  Write(fast, SF_FORMAT_WAV | SF_FORMAT_PCM_16, Signal(), nullptr, kFrames, 700000);
  const std::string garbage = (dir / "garbage.flac").string();
  testing::WriteFile(garbage, {'f', 'L', 'a', 'C', 1, 2, 3});
  struct Case {
    std::string input, output, bits;
    const char* reason;
  };
  const Case cases[] = {
      {garbage, (dir / "a.wav").string(), "", "cannot read"},
      {dir.path.string(), (dir / "h.wav").string(), "", "': it is a directory"},
      {in, (dir / "b.flac").string(), "float", "FLAC cannot hold --bits float samples"},
      {in, (dir / "c.wav").string(), "12", "unknown --bits '12'"},
      {in, (dir / "c.mp3").string(), "24", "MPEG is lossy: --bits 24 does not apply"},
      {in, (dir / "c.opus").string(), "16", "OGG is lossy: --bits 16 does not apply"},
      {in, in, "", "input and output are the same file"},
      {odd, (dir / "d.flac").string(), "", "cannot hold 16-bit PCM at 2 channels and 179072 Hz"},
      {fast, (dir / "e.flac").string(), "", "cannot hold 16-bit PCM at 2 channels and 700000 Hz"},
      {in, (dir / "f.opus").string(), "",
       "at 2 channels and 44100 Hz (it takes 8000, 12000, "
       "16000, 24000 or 48000 Hz; resample=rate=R converts"},
      {fast, (dir / "g.mp3").string(), "",
       "and 700000 Hz (it takes 8000, 11025, 12000, 16000, "
       "22050, 24000, 32000, 44100 or 48000 Hz"},
  };
  for (const Case& c : cases) {
    const JobResult result = RunJob(c.input, c.output, "echo", c.bits);
    EXPECT_EQ(result.outcome, StreamOutcome::NotStarted);
    EXPECT_NE(result.reason.find(c.reason), std::string::npos) << result.reason;
    if (c.output != in) {
      EXPECT_FALSE(std::filesystem::exists(c.output)) << c.output;
    }
  }
}

}  // namespace
}  // namespace wavfx
