#include "entry/apply_effect.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "entry/arguments.h"
#include "entry/stream.h"
#include "support/sparse_file.h"
#include "support/wav_files.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

namespace fs = std::filesystem;
using testing::AppendLE16;
using testing::AppendLE32;
using testing::AppendTag;
using testing::Bytes;
using testing::Chunk;
using testing::Concat;
using testing::FormatChunk;
using testing::Listing;
using testing::OutputFile;
using testing::Prefix;
using testing::RawChunk;
using testing::RiffWave;
using testing::SampleBytes;
using testing::Utf16;

Bytes Riff(std::initializer_list<Bytes> chunks) {
  Bytes file;
  AppendTag(file, "RIFF");
  AppendLE32(file, 0);
  AppendTag(file, "WAVE");
  for (const Bytes& chunk : chunks)
    file.insert(file.end(), chunk.begin(), chunk.end());
  return file;
}

Bytes FormatWithRates(uint16_t channels, uint32_t sampleRate, uint32_t byteRate,
                      uint16_t blockAlign) {
  Bytes body;
  AppendLE16(body, 1);
  AppendLE16(body, channels);
  AppendLE32(body, sampleRate);
  AppendLE32(body, byteRate);
  AppendLE16(body, blockAlign);
  AppendLE16(body, 16);
  return Chunk("fmt ", body);
}

struct Job {
  StreamOutcome outcome;
  std::string stderrText;
};

Job Apply(const std::u16string& input, const std::u16string& output,
          const std::u16string& effect = u"none") {
  ::testing::internal::CaptureStderr();
  const StreamOutcome outcome = ApplyEffect(input.c_str(), output.c_str(), effect.c_str());
  return {outcome, ::testing::internal::GetCapturedStderr()};
}

Job Apply(const fs::path& input, const fs::path& output, const std::string& effect = "none") {
  return Apply(Utf16(input.string()), Utf16(output.string()), Utf16(effect));
}

TEST(StatusOf, OneOnlyWhenTheJobNeverStarted) {
  struct Case {
    StreamOutcome outcome;
    int32_t status;
  };
  const Case cases[] = {{StreamOutcome::NotStarted, 1},
                        {StreamOutcome::Complete, 999},
                        {StreamOutcome::ReadFailed, 999},
                        {StreamOutcome::WriteFailed, 999},
                        {StreamOutcome::FramesTooWide, 999}};
  for (const Case& c : cases)
    EXPECT_EQ(StatusOf(c.outcome), c.status);
}

TEST(NarrowArgument, ConvertsToUtf8WithinTheBuffer) {
  struct Case {
    const char* name;
    std::u16string wide;
    ArgumentProblem problem;
    std::string narrow;
  };
  const std::string ascii199(199, 'a');
  const Case cases[] = {
      {"ascii", u"echo", ArgumentProblem::None, "echo"},
      {"empty", u"", ArgumentProblem::None, ""},
      {"non-ASCII", u"\u00e9\u20ac\U0001F3B5", ArgumentProblem::None,
       "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5"},
      {"199 bytes", std::u16string(199, u'a'), ArgumentProblem::None, ascii199},
      {"200 bytes", std::u16string(200, u'a'), ArgumentProblem::TooLong, ""},
      {"66 three-byte characters: 198 bytes", std::u16string(66, u'\u20ac'), ArgumentProblem::None,
       [] {
         std::string s;
         for (int i = 0; i < 66; ++i)
           s += "\xE2\x82\xAC";
         return s;
       }()},
      {"67 three-byte characters: 201 bytes", std::u16string(67, u'\u20ac'),
       ArgumentProblem::TooLong, ""},
      {"100 two-byte characters: 200 bytes", std::u16string(100, u'\u00e9'),
       ArgumentProblem::TooLong, ""},
      {"lone high surrogate", u"ab\xD800-", ArgumentProblem::None, ""},
      {"lone low surrogate", u"\xDC00", ArgumentProblem::None, ""},
      {"lone surrogate in an over-long string", std::u16string(300, u'a') + u"\xD800",
       ArgumentProblem::None, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char buffer[kArgumentBufferSize];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(NarrowArgument(c.wide.c_str(), buffer), c.problem);
    EXPECT_EQ(std::string(buffer), c.narrow);
  }
  char buffer[kArgumentBufferSize] = "x";
  EXPECT_EQ(NarrowArgument(nullptr, buffer), ArgumentProblem::Missing);
  EXPECT_EQ(buffer[0], '\0');
}

// Output that records the size of every write it is given and refuses writes after a number.
struct WriteLog {
  std::vector<std::size_t> sizes;
  Bytes bytes;
  std::size_t accepted;
};

ssize_t LogWrite(void* cookie, const char* data, std::size_t size) {
  auto& log = *static_cast<WriteLog*>(cookie);
  if (log.sizes.size() >= log.accepted) return -1;
  log.sizes.push_back(size);
  log.bytes.insert(log.bytes.end(), data, data + size);
  return static_cast<ssize_t>(size);
}

TEST(StreamBlocks, CutsTheDataIntoBlocksOfWholeFrames) {
  constexpr std::size_t kAll = SIZE_MAX;
  struct Case {
    const char* name;
    uint32_t blockAlign;
    uint32_t dataSize;
    uint32_t available;        // bytes the input really holds
    std::size_t acceptWrites;  // writes the output takes before it fails
    StreamOutcome outcome;
    const char* message;
    std::vector<std::size_t> writes;
  };
  const char* read = "Error: read failed\n";
  const char* write = "Error: write failed\n";
  const char* both = "Error: read failed\nError: write failed\n";
  using enum StreamOutcome;
  const Case cases[] = {
      {"mono", 2, 5000, 5000, kAll, Complete, "", {2048, 2048, 904}},
      {"three channels: 2046-byte blocks", 6, 5000, 5000, kAll, Complete, "", {2046, 2046, 906}},
      {"stereo, partial trailing frame", 4, 4098, 4098, kAll, Complete, "", {2048, 2048}},
      {"1024 channels: one frame a block", 2048, 4096, 4096, kAll, Complete, "", {2048, 2048}},
      {"1025 channels: frames too wide", 2050, 4100, 4100, kAll, FramesTooWide, "", {}},
      {"1025 channels, exactly one frame", 2050, 2050, 2050, kAll, FramesTooWide, "", {}},
      {"1025 channels, less than a frame", 2050, 2049, 2049, kAll, Complete, "", {}},
      {"no data", 4, 0, 0, kAll, Complete, "", {}},
      {"less than a frame", 6, 5, 5, kAll, Complete, "", {}},
      {"input ends in the second block", 2, 5000, 3000, kAll, ReadFailed, read, {2048, 952}},
      {"input ends mid-frame", 6, 5000, 2100 + 5, kAll, ReadFailed, read, {2046, 54}},
      {"input ends one byte into a block", 4, 5000, 2049, kAll, ReadFailed, read, {2048}},
      {"input empty", 4, 100, 0, kAll, ReadFailed, read, {}},
      {"second write refused", 4, 5000, 5000, 1, WriteFailed, write, {2048}},
      {"first write refused", 4, 5000, 5000, 0, WriteFailed, write, {}},
      {"short block's write refused", 4, 5000, 3000, 1, WriteFailed, both, {2048}},
  };
  const Bytes data = SampleBytes(5000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::FILE* input = std::tmpfile();
    ASSERT_NE(input, nullptr);
    ASSERT_EQ(std::fwrite(data.data(), 1, c.available, input), c.available);
    std::rewind(input);
    WriteLog log{{}, {}, c.acceptWrites};
    std::FILE* output = fopencookie(&log, "wb", {nullptr, LogWrite, nullptr, nullptr});
    ASSERT_NE(output, nullptr);
    std::setvbuf(output, nullptr, _IONBF, 0);  // one fwrite, one logged write

    EffectChain none;
    InitChain(none, RecipeOfName("none"), c.blockAlign / 2, 8000);
    ::testing::internal::CaptureStderr();
    const StreamResult result = StreamBlocks(input, output, c.dataSize, c.blockAlign, none);
    ReleaseChain(none);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message);
    std::fclose(output);
    std::fclose(input);

    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(log.sizes, c.writes);
    EXPECT_EQ(result.bytesWritten, log.bytes.size());
    EXPECT_EQ(log.bytes, Prefix(data, log.bytes.size()));
  }
}

TEST(ApplyEffect, StreamsWholeFramesAndPatchesTheHeader) {
  const Bytes data = SampleBytes(7000);
  const Bytes blocks = SampleBytes(300002);  // beyond two direct blocks
  struct Case {
    const char* name;
    Bytes input;
    std::u16string effect;
    StreamOutcome outcome;
    const char* message;
    Bytes output;
    const char* inName = "in.wav";
    const char* outName = "out.wav";
    Bytes existing = {};  // an output file there before
  };
  const char* read = "Error: read failed\n";
  const Bytes mono = RiffWave({FormatChunk(1, 8000), Chunk("data", Prefix(data, 100))});
  const Bytes monoOut = OutputFile(1, 8000, Prefix(data, 100));
  std::u16string euro66;
  for (int i = 0; i < 66; ++i)
    euro66 += u"\u20ac";
  using enum StreamOutcome;
  const Case cases[] = {
      {"none copies the data", RiffWave({FormatChunk(2, 44100), Chunk("data", Prefix(data, 4000))}),
       u"none", Complete, "", OutputFile(2, 44100, Prefix(data, 4000))},
      {"unknown name copies", RiffWave({FormatChunk(1, 22050), Chunk("data", Prefix(data, 3000))}),
       u"no such effect", Complete, "", OutputFile(1, 22050, Prefix(data, 3000))},
      {"empty name copies", RiffWave({FormatChunk(1, 22050), Chunk("data", Prefix(data, 30))}), u"",
       Complete, "", OutputFile(1, 22050, Prefix(data, 30))},
      {"data size 0", RiffWave({FormatChunk(2, 44100), Chunk("data", {})}), u"none", Complete, "",
       OutputFile(2, 44100, {})},
      {"stereo 4n+2: partial frame left out",
       RiffWave({FormatChunk(2, 44100), Chunk("data", Prefix(data, 4002))}), u"none", Complete, "",
       OutputFile(2, 44100, Prefix(data, 4000))},
      {"odd data size", RiffWave({FormatChunk(1, 8000), Chunk("data", Prefix(data, 7))}), u"none",
       Complete, "", OutputFile(1, 8000, Prefix(data, 6))},
      {"three channels", RiffWave({FormatChunk(3, 8000), Chunk("data", Prefix(data, 6002))}),
       u"none", Complete, "", OutputFile(3, 8000, Prefix(data, 6000))},
      {"1024 channels", RiffWave({FormatChunk(1024, 8000), Chunk("data", Prefix(data, 6144))}),
       u"none", Complete, "", OutputFile(1024, 8000, Prefix(data, 6144))},
      {"1025 channels: header only",
       RiffWave({FormatChunk(1025, 8000), Chunk("data", Prefix(data, 6150))}), u"none",
       FramesTooWide, "", OutputFile(1025, 8000, {})},
      {"input shorter than declared",
       Riff({FormatChunk(2, 44100), RawChunk("data", 5000, Prefix(data, 3002))}), u"none",
       ReadFailed, read, OutputFile(2, 44100, Prefix(data, 3000))},
      {"input shorter than one block",
       Riff({FormatChunk(2, 44100), RawChunk("data", 1000, Prefix(data, 10))}), u"none", ReadFailed,
       read, OutputFile(2, 44100, Prefix(data, 8))},
      {"input ends at a block boundary",
       Riff({FormatChunk(1, 8000), RawChunk("data", 4096, Prefix(data, 2048))}), u"none",
       ReadFailed, read, OutputFile(1, 8000, Prefix(data, 2048))},
      {"input short after several blocks",
       Riff({FormatChunk(2, 44100), RawChunk("data", 400000, blocks)}), u"none", ReadFailed, read,
       OutputFile(2, 44100, Prefix(blocks, 300000))},
      {"three channels, input short",
       Riff({FormatChunk(3, 8000), RawChunk("data", 6000, Prefix(data, 2046 + 100))}), u"none",
       ReadFailed, read, OutputFile(3, 8000, Prefix(data, 2046 + 96))},
      {"data size 0xFFFFFFFF streams to the end",
       Riff({FormatChunk(2, 8000), RawChunk("data", 0xFFFFFFFF, Prefix(data, 5002))}), u"none",
       ReadFailed, read, OutputFile(2, 8000, Prefix(data, 5000))},
      {"data size 0xFFFFFFFF, nothing after it",
       Riff({FormatChunk(2, 8000), RawChunk("data", 0xFFFFFFFF)}), u"none", ReadFailed, read,
       OutputFile(2, 8000, {})},
      {"byte rate and block align recomputed",
       RiffWave({FormatWithRates(2, 44100, 7, 1), Chunk("data", Prefix(data, 10))}), u"none",
       Complete, "", OutputFile(2, 44100, Prefix(data, 8))},
      {"chunks after the data not copied",
       RiffWave(
           {FormatChunk(2, 8000), Chunk("data", Prefix(data, 400)), Chunk("LIST", Bytes(100, 1))}),
       u"none", Complete, "", OutputFile(2, 8000, Prefix(data, 400))},
      {"data before fmt", RiffWave({Chunk("data", Prefix(data, 400)), FormatChunk(2, 8000)}),
       u"none", Complete, "", OutputFile(2, 8000, Prefix(data, 400))},
      {"second data chunk streamed",
       RiffWave(
           {FormatChunk(1, 8000), Chunk("data", Bytes(50, 9)), Chunk("data", Prefix(data, 60))}),
       u"none", Complete, "", OutputFile(1, 8000, Prefix(data, 60))},
      {"lone surrogate in the effect name copies", mono, u"echo\xD800", Complete, "", monoOut},
      {"effect name of 198 bytes copies", mono, euro66, Complete, "", monoOut},
      {"non-ASCII paths", mono, u"none", Complete, "", monoOut,
       "\xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xB5.wav", "\xE2\x82\xAC.wav"},
      {"a longer existing output replaced", mono, u"none", Complete, "", monoOut, "in.wav",
       "out.wav", Bytes(100000, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    testing::WriteFile(dir / c.inName, c.input);
    if (!c.existing.empty()) testing::WriteFile(dir / c.outName, c.existing);
    const Job job =
        Apply(Utf16((dir / c.inName).string()), Utf16((dir / c.outName).string()), c.effect);
    EXPECT_EQ(job.outcome, c.outcome);
    EXPECT_EQ(job.stderrText, c.message);
    EXPECT_EQ(testing::ReadFile(dir / c.outName), c.output);
  }
}

TEST(ApplyEffect, RefusesInputAndOutputThatAreTheSameFile) {
  struct Case {
    const char* name;
    const char* output;  // relative to the test directory
  };
  const Case cases[] = {
      {"same path", "in.wav"},
      {"symbolic link", "link.wav"},
      {"hard link", "hard.wav"},
      {"parent spelling", "sub/../in.wav"},
      {"doubled slashes and dots", "./sub//..//./in.wav"},
      {"through a linked directory", "linkdir/in.wav"},
  };
  const Bytes input = RiffWave({FormatChunk(2, 44100), Chunk("data", SampleBytes(4000))});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    testing::WriteFile(dir / "in.wav", input);
    fs::create_directory(dir / "sub");
    fs::create_symlink(dir / "in.wav", dir / "link.wav");
    fs::create_hard_link(dir / "in.wav", dir / "hard.wav");
    fs::create_directory_symlink(dir.path, dir / "linkdir");
    const auto before = Listing(dir.path);

    const std::u16string in = Utf16((dir / "in.wav").string());
    const std::u16string out = Utf16(dir.path.string() + "/" + c.output);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WAVEffect(in.c_str(), out.c_str(), u"echo"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: input and output are the same file\n");
    EXPECT_EQ(testing::ReadFile(dir / "in.wav"), input);
    EXPECT_EQ(Listing(dir.path), before);
    EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
  }
}

TEST(ApplyEffect, RefusesMissingAndOverlongArgumentsBeforeTouchingFiles) {
  struct Case {
    const char* name;
    const char16_t* input;  // nullptr: missing; kGood: the prepared input
    const char16_t* output;
    const char16_t* effect;
    const char* message;
  };
  static const char16_t kGood[] = u"good";
  const std::u16string long200(200, u'a');
  const std::u16string e100(100, u'\u00e9');   // 200 bytes in UTF-8
  const std::u16string euro67(67, u'\u20ac');  // 201 bytes
  std::u16string notes;
  for (int i = 0; i < 50; ++i)
    notes += u"\U0001F3B5";  // 200 bytes
  const char* missing = "Error: missing argument\n";
  const char* tooLong = "Error: argument too long\n";
  const Case cases[] = {
      {"null input", nullptr, kGood, u"none", missing},
      {"null output", kGood, nullptr, u"none", missing},
      {"null effect", kGood, kGood, nullptr, missing},
      {"all null", nullptr, nullptr, nullptr, missing},
      {"input of 200 bytes", long200.c_str(), kGood, u"none", tooLong},
      {"output of 200 bytes", kGood, long200.c_str(), u"none", tooLong},
      {"effect of 200 bytes", kGood, kGood, long200.c_str(), tooLong},
      {"effect of 100 two-byte characters", kGood, kGood, e100.c_str(), tooLong},
      {"effect of 67 three-byte characters", kGood, kGood, euro67.c_str(), tooLong},
      {"effect of 50 four-byte characters", kGood, kGood, notes.c_str(), tooLong},
      {"input too long, output null: input judged first", long200.c_str(), nullptr, u"none",
       tooLong},
  };
  const Bytes input = RiffWave({FormatChunk(2, 44100), Chunk("data", SampleBytes(400))});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    testing::WriteFile(dir / "in.wav", input);
    const std::u16string in = Utf16((dir / "in.wav").string());
    const std::u16string out = Utf16((dir / "out.wav").string());
    const char16_t* inArg = c.input == kGood ? in.c_str() : c.input;
    const char16_t* outArg = c.output == kGood ? out.c_str() : c.output;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WAVEffect(inArg, outArg, c.effect), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message);
    EXPECT_FALSE(fs::exists(dir / "out.wav"));
    EXPECT_EQ(testing::ReadFile(dir / "in.wav"), input);
    EXPECT_EQ(Listing(dir.path), std::set<std::string>{"in.wav"});
  }
}

TEST(ApplyEffect, FailsToStartWhenAFileCannotBeOpened) {
  struct Case {
    const char* name;
    std::string input;        // "@" stands for the test directory
    std::u16string rawInput;  // used instead when not empty
    std::string output;
    std::u16string rawOutput;
    std::string message;
  };
  const Case cases[] = {
      {"missing input", "@/missing.wav", u"", "@/out.wav", u"",
       "Error: cannot open input '@/missing.wav'\n"},
      {"format directives printed literally", "@/%s%n%x.wav", u"", "@/out.wav", u"",
       "Error: cannot open input '@/%s%n%x.wav'\n"},
      {"empty input path", "", u"", "@/out.wav", u"", "Error: cannot open input ''\n"},
      {"lone surrogate in the input path", "", u"@/in\xDC00.wav", "@/out.wav", u"",
       "Error: cannot open input ''\n"},
      {"input is a directory", "@/sub", u"", "@/out.wav", u"",
       "Error: cannot open input '@/sub'\n"},
      {"input rejected", "@/zero.wav", u"", "@/out.wav", u"",
       "Error: unsupported channel count (0)\n"},
      {"input rejected silently", "@/short.wav", u"", "@/out.wav", u"", ""},
      {"output in a missing directory", "@/in.wav", u"", "@/missing/out.wav", u"",
       "Error: cannot open output '@/missing/out.wav'\n"},
      {"output directives printed literally", "@/in.wav", u"", "@/%s%n/%d.wav", u"",
       "Error: cannot open output '@/%s%n/%d.wav'\n"},
      {"empty output path", "@/in.wav", u"", "", u"", "Error: cannot open output ''\n"},
      {"lone surrogate in the output path", "@/in.wav", u"", "", u"@/out\xD800.wav",
       "Error: cannot open output ''\n"},
      {"output is a directory", "@/in.wav", u"", "@/sub", u"",
       "Error: cannot open output '@/sub'\n"},
  };
  const Bytes input = RiffWave({FormatChunk(2, 44100), Chunk("data", SampleBytes(400))});
  const Bytes zero = RiffWave({FormatChunk(0, 44100), Chunk("data", SampleBytes(400))});
  const Bytes shortFile = {'R', 'I', 'F', 'F', 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string root = dir.path.string();
    auto expand = [&root](std::string text) {
      for (std::size_t at; (at = text.find('@')) != std::string::npos;)
        text.replace(at, 1, root);
      return text;
    };
    auto expandWide = [&root](std::u16string text) {
      const std::u16string wideRoot = Utf16(root);
      for (std::size_t at; (at = text.find(u'@')) != std::u16string::npos;) {
        text.replace(at, 1, wideRoot);
      }
      return text;
    };
    testing::WriteFile(dir / "in.wav", input);
    testing::WriteFile(dir / "zero.wav", zero);
    testing::WriteFile(dir / "short.wav", shortFile);
    fs::create_directory(dir / "sub");
    const auto before = Listing(dir.path);
    const std::u16string in = c.rawInput.empty() ? Utf16(expand(c.input)) : expandWide(c.rawInput);
    const std::u16string out =
        c.rawOutput.empty() ? Utf16(expand(c.output)) : expandWide(c.rawOutput);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WAVEffect(in.c_str(), out.c_str(), u"echo"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), expand(c.message));
    EXPECT_EQ(Listing(dir.path), before);
    EXPECT_EQ(testing::ReadFile(dir / "in.wav"), input);
  }
}

// Paths of 199 bytes are accepted, and named whole when they cannot be opened.
TEST(ApplyEffect, PathsOf199Bytes) {
  testing::TempDir dir;
  const Bytes data = SampleBytes(40);
  const std::string base = dir.path.string() + "/";
  ASSERT_LT(base.size(), 150u);
  const std::string in = base + std::string(199 - base.size() - 4, 'i') + ".wav";
  const std::string out = base + std::string(199 - base.size() - 4, 'o') + ".wav";
  const std::string missingInput = base + std::string(199 - base.size(), 'm');
  const std::string missingDir = base + std::string(199 - base.size() - 8, 'd') + "/out.wav";
  testing::WriteFile(in, RiffWave({FormatChunk(1, 8000), Chunk("data", data)}));
  Job job = Apply(Utf16(in), Utf16(out));
  EXPECT_EQ(job.outcome, StreamOutcome::Complete);
  EXPECT_EQ(job.stderrText, "");
  EXPECT_EQ(testing::ReadFile(out), OutputFile(1, 8000, data));
  fs::remove(out);
  job = Apply(Utf16(missingInput), Utf16(base + "out.wav"));
  EXPECT_EQ(job.outcome, StreamOutcome::NotStarted);
  EXPECT_EQ(job.stderrText, "Error: cannot open input '" + missingInput + "'\n");
  job = Apply(Utf16(in), Utf16(missingDir));
  EXPECT_EQ(job.outcome, StreamOutcome::NotStarted);
  EXPECT_EQ(job.stderrText, "Error: cannot open output '" + missingDir + "'\n");
  EXPECT_EQ(Listing(dir.path), std::set<std::string>{fs::path(in).filename().string()});
}

TEST(ApplyEffect, AWriteFailureIsReportedAlsoWhenItSurfacesAtTheFlush) {
  struct Case {
    const char* name;
    std::size_t dataBytes;
  };
  const Case cases[] = {{"small: the error surfaces only at the flush", 400},
                        {"large: the error surfaces while streaming", 3'000'000},
                        {"header only", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    testing::WriteFile(dir / "in.wav",
                       RiffWave({FormatChunk(2, 44100), Chunk("data", SampleBytes(c.dataBytes))}));
    const std::u16string in = Utf16((dir / "in.wav").string());
    ::testing::internal::CaptureStderr();
    const StreamOutcome outcome = ApplyEffect(in.c_str(), u"/dev/full", u"none");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: write failed\n");
    EXPECT_EQ(outcome, StreamOutcome::WriteFailed);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WAVEffect(in.c_str(), u"/dev/full", u"none"), 999);
    ::testing::internal::GetCapturedStderr();
  }
}

TEST(ApplyEffect, HeaderToAPipeStaysAsFirstWritten) {
  struct Case {
    const char* name;
    Bytes input;
    StreamOutcome outcome;
    const char* message;
    Bytes output;
  };
  const Bytes data = SampleBytes(5000);
  const Case cases[] = {
      {"input shorter than declared",
       Riff({FormatChunk(2, 44100), RawChunk("data", 5000, Prefix(data, 3002))}),
       StreamOutcome::ReadFailed, "Error: read failed\n",
       OutputFile(2, 44100, 5000, Prefix(data, 3000))},
      {"partial trailing frame",
       RiffWave({FormatChunk(2, 44100), Chunk("data", Prefix(data, 4002))}),
       StreamOutcome::Complete, "", OutputFile(2, 44100, 4002, Prefix(data, 4000))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    testing::WriteFile(dir / "in.wav", c.input);
    const fs::path fifo = dir / "out.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Bytes received;
    std::thread reader([&fifo, &received] {
      const int fd = ::open(fifo.c_str(), O_RDONLY);
      if (fd < 0) return;
      char buffer[4096];
      for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        received.insert(received.end(), buffer, buffer + got);
      }
      ::close(fd);
    });
    const Job job = Apply(dir / "in.wav", fifo);
    reader.join();
    EXPECT_EQ(job.outcome, c.outcome);
    EXPECT_EQ(job.stderrText, c.message);
    EXPECT_EQ(received, c.output);
  }
}

TEST(ApplyEffect, StreamsDataBeyond2GiB) {
  testing::TempDir dir;
  const Bytes head = Riff({FormatChunk(2, 8000), RawChunk("LIST", 0x80000000)});
  const Bytes data = SampleBytes(3000);
  const Bytes tail = Concat({Chunk("data", data), Chunk("LIST", Bytes(10, 0))});
  const auto at = static_cast<int64_t>(head.size()) + (int64_t{1} << 31);
  testing::WriteSparse(dir / "big.wav", {{0, head}, {at, tail}});
  const Job job = Apply(dir / "big.wav", dir / "out.wav");
  EXPECT_EQ(job.outcome, StreamOutcome::Complete);
  EXPECT_EQ(job.stderrText, "");
  EXPECT_EQ(testing::ReadFile(dir / "out.wav"), OutputFile(2, 8000, data));
}

}  // namespace
}  // namespace wavfx
