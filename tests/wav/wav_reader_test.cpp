#include "wav/wav_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/sparse_file.h"
#include "support/wav_files.h"

namespace wavfx {
namespace {

using testing::AppendLE16;
using testing::AppendLE32;
using testing::AppendTag;
using testing::Bytes;
using testing::Chunk;
using testing::Concat;
using testing::DataChunk;
using testing::FormatChunk;
using testing::RawChunk;
using testing::RiffWave;
using testing::WriteSparse;

Bytes Text(const char* text) {
  return Bytes(text, text + std::strlen(text));
}

// The 16 bytes of format fields, for chunks whose declared size is not their body's.
Bytes FormatFields(uint16_t tag, uint16_t channels, uint32_t sampleRate, uint32_t byteRate,
                   uint16_t blockAlign, uint16_t bits) {
  Bytes fields;
  AppendLE16(fields, tag);
  AppendLE16(fields, channels);
  AppendLE32(fields, sampleRate);
  AppendLE32(fields, byteRate);
  AppendLE16(fields, blockAlign);
  AppendLE16(fields, bits);
  return fields;
}

Bytes RiffHeader(const char* riff, uint32_t size, const char* form) {
  Bytes header;
  AppendTag(header, riff);
  AppendLE32(header, size);
  AppendTag(header, form);
  return header;
}

struct ReadResult {
  bool accepted = false;
  std::string stderrText;
  StreamFormat format{};
  int64_t dataOffset = 0;
  int64_t position = -1;  // of the returned file
};

ReadResult Read(const std::filesystem::path& path) {
  ReadResult result;
  ::testing::internal::CaptureStderr();
  std::FILE* file = ReadWavHeader(path.c_str(), result.format, result.dataOffset);
  result.stderrText = ::testing::internal::GetCapturedStderr();
  result.accepted = file != nullptr;
  if (file != nullptr) {
    result.position = ftello(file);
    std::fclose(file);
  }
  return result;
}

ReadResult ReadBytes(const Bytes& bytes) {
  testing::TempDir dir;
  testing::WriteFile(dir / "in.wav", bytes);
  return Read(dir / "in.wav");
}

const std::vector<int16_t> kFourSamples = {1, -2, 3, -4};

TEST(ReadWavHeader, RefusesWithItsMessage) {
  struct Case {
    const char* name;
    Bytes file;
    const char* message;  // "" for the silent failures
  };
  const Case cases[] = {
      {"empty file", {}, ""},
      {"three bytes", Text("RIF"), ""},
      {"RIFF size cut short", Concat({Text("RIFF"), {1, 0}}), ""},
      {"form type cut short", Concat({Text("RIFF"), {4, 0, 0, 0}, Text("WAV")}), ""},
      {"RIFX", RiffHeader("RIFX", 4, "WAVE"), "Error: not a RIFF file\n"},
      {"riff in small letters", RiffHeader("riff", 4, "WAVE"), "Error: not a RIFF file\n"},
      {"other form type", RiffHeader("RIFF", 4, "AVI "), "Error: not a WAVE file\n"},
      {"wave in small letters", RiffHeader("RIFF", 4, "wave"), "Error: not a WAVE file\n"},
      {"float format", RiffWave({FormatChunk(2, 44100, 32, 3), DataChunk(kFourSamples)}),
       "Error: only PCM format supported (3)\n"},
      {"extensible format",
       RiffWave({FormatChunk(2, 44100, 16, 65534, 24), DataChunk(kFourSamples)}),
       "Error: only PCM format supported (65534)\n"},
      {"tag judged before bits", RiffWave({FormatChunk(2, 44100, 8, 3), DataChunk(kFourSamples)}),
       "Error: only PCM format supported (3)\n"},
      {"8-bit", RiffWave({FormatChunk(1, 8000, 8), DataChunk(kFourSamples)}),
       "Error: only16-bit PCM supported (8)\n"},
      {"24-bit", RiffWave({FormatChunk(2, 48000, 24), DataChunk(kFourSamples)}),
       "Error: only16-bit PCM supported (24)\n"},
      {"0 channels", RiffWave({FormatChunk(0, 44100), DataChunk(kFourSamples)}),
       "Error: unsupported channel count (0)\n"},
      {"bits judged before channels", RiffWave({FormatChunk(0, 44100, 8), DataChunk({})}),
       "Error: only16-bit PCM supported (8)\n"},
      {"tag judged before channels", RiffWave({FormatChunk(0, 44100, 16, 3), DataChunk({})}),
       "Error: only PCM format supported (3)\n"},
      {"0 channels refused where judged, though a good fmt follows",
       RiffWave({FormatChunk(0, 44100), FormatChunk(2, 44100), DataChunk(kFourSamples)}),
       "Error: unsupported channel count (0)\n"},
      {"bad fmt after the data chunk",
       RiffWave({FormatChunk(2, 44100), DataChunk(kFourSamples), FormatChunk(2, 44100, 16, 3)}),
       "Error: only PCM format supported (3)\n"},
      {"fmt only", RiffWave({FormatChunk(2, 44100)}), "Error: missing fmt or data chunk\n"},
      {"data only", RiffWave({DataChunk(kFourSamples)}), "Error: missing fmt or data chunk\n"},
      {"no chunks", RiffWave({}), "Error: missing fmt or data chunk\n"},
      {"FMT in capitals",
       RiffWave({Chunk("FMT ", FormatFields(1, 2, 44100, 176400, 4, 16)), DataChunk(kFourSamples)}),
       "Error: missing fmt or data chunk\n"},
      {"DATA in capitals", RiffWave({FormatChunk(2, 44100), Chunk("DATA", Bytes(8, 0))}),
       "Error: missing fmt or data chunk\n"},
      {"fmt fields cut short",
       Concat({RiffHeader("RIFF", 100, "WAVE"), RawChunk("fmt ", 16, Bytes(10, 1))}), ""},
      {"fmt extension running past the end, no data",
       Concat({RiffHeader("RIFF", 100, "WAVE"),
               RawChunk("fmt ", 40, FormatFields(1, 2, 44100, 176400, 4, 16))}),
       "Error: missing fmt or data chunk\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult result = ReadBytes(c.file);
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.stderrText, c.message);
  }
}

// The fields of a canonical 16-bit format.
StreamFormat Pcm(uint32_t channels, uint32_t sampleRate, uint32_t dataSize) {
  return {channels, sampleRate, 16, sampleRate * channels * 2, channels * 2, dataSize};
}

std::vector<uint32_t> Fields(const StreamFormat& f) {
  return {f.channels, f.sampleRate, f.bitsPerSample, f.byteRate, f.blockAlign, f.dataSize};
}

TEST(ReadWavHeader, AcceptsAndStopsAtTheSampleData) {
  constexpr int64_t k2GiB = int64_t{1} << 31;
  const Bytes riff = RiffHeader("RIFF", 0xFFFFFFFF, "WAVE");
  struct Case {
    const char* name;
    Bytes file;
    StreamFormat format;
    int64_t dataOffset;
    int64_t hole = 0;  // bytes left unwritten after `file`, before `rest`
    Bytes rest = {};
  };
  const Case cases[] = {
      {"canonical", RiffWave({FormatChunk(2, 44100), DataChunk(kFourSamples)}), Pcm(2, 44100, 8),
       44},
      {"fmt of 18 bytes", RiffWave({FormatChunk(2, 44100, 16, 1, 2), DataChunk(kFourSamples)}),
       Pcm(2, 44100, 8), 46},
      {"data before fmt", RiffWave({DataChunk(kFourSamples), FormatChunk(1, 8000)}),
       Pcm(1, 8000, 8), 20},
      {"LIST after data",
       RiffWave({FormatChunk(2, 44100), DataChunk(kFourSamples), Chunk("LIST", Bytes(10, 7))}),
       Pcm(2, 44100, 8), 44},
      {"odd-size chunk and its pad byte",
       RiffWave({Chunk("JUNK", {9, 9, 9}), FormatChunk(1, 22050), DataChunk(kFourSamples)}),
       Pcm(1, 22050, 8), 56},
      {"two data chunks: the second wins",
       RiffWave({FormatChunk(1, 8000), DataChunk({1, 2}), DataChunk({3, 4, 5})}), Pcm(1, 8000, 6),
       56},
      {"a later fmt replaces the first",
       RiffWave({FormatChunk(1, 8000), DataChunk(kFourSamples), FormatChunk(2, 16000)}),
       Pcm(2, 16000, 8), 44},
      {"FMT and DATA in capitals are skipped",
       RiffWave({Chunk("FMT ", FormatFields(3, 7, 1, 1, 1, 8)), FormatChunk(1, 8000),
                 Chunk("DATA", Bytes(6, 0)), DataChunk({1, 2})}),
       Pcm(1, 8000, 4), 82},
      {"fmt declaring 14 bytes: 16 read, nothing skipped",
       Concat({RiffHeader("RIFF", 36, "WAVE"),
               RawChunk("fmt ", 14, FormatFields(1, 2, 44100, 176400, 4, 16)),
               DataChunk(kFourSamples)}),
       Pcm(2, 44100, 8), 44},
      {"fmt declaring 15 bytes: 16 read, then the pad byte",
       Concat({RiffHeader("RIFF", 37, "WAVE"),
               RawChunk("fmt ", 15, Concat({FormatFields(1, 2, 44100, 176400, 4, 16), {0}})),
               DataChunk(kFourSamples)}),
       Pcm(2, 44100, 8), 45},
      {"byte rate and block align kept as stored",
       RiffWave({Chunk("fmt ", FormatFields(1, 2, 44100, 1234, 7, 16)), DataChunk(kFourSamples)}),
       StreamFormat{2, 44100, 16, 1234, 7, 8}, 44},
      {"RIFF size ignored",
       Concat({RiffHeader("RIFF", 0, "WAVE"), FormatChunk(1, 8000), DataChunk({5})}),
       Pcm(1, 8000, 2), 44},
      {"data size 0", RiffWave({FormatChunk(1, 8000), DataChunk({})}), Pcm(1, 8000, 0), 44},
      {"data declaring more than the file holds",
       Concat(
           {RiffHeader("RIFF", 0, "WAVE"), FormatChunk(2, 8000), RawChunk("data", 1000, {1, 2})}),
       Pcm(2, 8000, 1000), 44},
      {"data size 0xFFFFFFFF",
       Concat({riff, FormatChunk(2, 8000), RawChunk("data", 0xFFFFFFFF, Bytes(100, 3))}),
       Pcm(2, 8000, 0xFFFFFFFF), 44},
      {"chunk of 2^31 bytes after the data skipped forward",
       Concat({RiffWave({FormatChunk(2, 8000), DataChunk(kFourSamples)}),
               RawChunk("LIST", 0x80000000, Bytes(20, 0))}),
       Pcm(2, 8000, 8), 44},
      {"fmt with 2^31 extra bytes after the data skipped forward",
       Concat({RiffWave({FormatChunk(1, 8000), DataChunk(kFourSamples)}),
               RawChunk("fmt ", 0x80000010, FormatFields(1, 2, 22050, 88200, 4, 16))}),
       Pcm(2, 22050, 8), 44},
      {"chunk of 0xFFFFFFFE bytes after the data skipped forward",
       Concat({RiffWave({FormatChunk(2, 8000), DataChunk(kFourSamples)}),
               RawChunk("JUNK", 0xFFFFFFFE, Bytes(20, 0))}),
       Pcm(2, 8000, 8), 44},
      {"partial chunk header at the end ends the walk",
       Concat({RiffWave({FormatChunk(2, 8000), DataChunk(kFourSamples)}), Text("LIS")}),
       Pcm(2, 8000, 8), 44},
      {"identifier without its size at the end ends the walk",
       Concat({RiffWave({FormatChunk(2, 8000), DataChunk(kFourSamples)}), Text("LIST"), {1}}),
       Pcm(2, 8000, 8), 44},
      {"LIST chunk of 2^31 bytes before the data",
       Concat({riff, FormatChunk(2, 8000), RawChunk("LIST", 0x80000000)}), Pcm(2, 8000, 8),
       44 + k2GiB + 8, k2GiB, DataChunk(kFourSamples)},
      {"fmt chunk of 2^31 + 16 bytes before the data",
       Concat({riff, RawChunk("fmt ", 0x80000010, FormatFields(1, 2, 8000, 32000, 4, 16))}),
       Pcm(2, 8000, 8), 36 + k2GiB + 8, k2GiB, DataChunk(kFourSamples)},
      {"data chunk of 0xFFFFFFFF bytes after a chunk of 2^31",
       Concat({riff, FormatChunk(2, 8000), RawChunk("LIST", 0x80000000)}), Pcm(2, 8000, 0xFFFFFFFF),
       44 + k2GiB + 8, k2GiB, Concat({RawChunk("data", 0xFFFFFFFF), Bytes(8, 1)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const auto end = static_cast<int64_t>(c.file.size());
    WriteSparse(dir / "in.wav", {{0, c.file}, {end + c.hole, c.rest}});
    const ReadResult result = Read(dir / "in.wav");
    ASSERT_TRUE(result.accepted);
    EXPECT_EQ(result.stderrText, "");
    EXPECT_EQ(Fields(result.format), Fields(c.format));
    EXPECT_EQ(result.dataOffset, c.dataOffset);
    EXPECT_EQ(result.position, c.dataOffset);
  }
}

TEST(ReadWavHeader, CannotOpenNamesThePathAndClearsTheResults) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir / "a directory");
  const std::string missing = (dir / "missing %s%n.wav").string();
  const std::string directory = (dir / "a directory").string();
  const std::string paths[] = {missing, directory, ""};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    StreamFormat format{7, 7, 7, 7, 7, 7};
    int64_t dataOffset = 7;
    ::testing::internal::CaptureStderr();
    std::FILE* file = ReadWavHeader(path.c_str(), format, dataOffset);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: cannot open input '" + path + "'\n");
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(Fields(format), Fields({}));
    EXPECT_EQ(dataOffset, -1);
  }
}

// A stream that cannot seek, fed from a thread.
struct PipeInput {
  explicit PipeInput(Bytes bytes) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    file = ::fdopen(fds[0], "rb");
    writer = std::thread([fd = fds[1], bytes = std::move(bytes)] {
      std::size_t done = 0;
      while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put <= 0) break;
        done += static_cast<std::size_t>(put);
      }
      ::close(fd);
    });
  }
  // The bytes fit the pipe's buffer, so the writer finishes without a reader.
  ~PipeInput() {
    if (writer.joinable()) writer.join();
    if (file != nullptr) std::fclose(file);
  }
  std::FILE* file = nullptr;
  std::thread writer;
};

TEST(ParseWavHeader, StopsAtTheFirstDataChunkOfAPipe) {
  struct Case {
    const char* name;
    Bytes file;
    bool stopAtData;
    WavProblem problem;
    int64_t dataOffset;
    uint32_t dataSize;
  };
  const Bytes tail = {0xAA, 0xBB};
  const Case cases[] = {
      {"skips other chunks by reading",
       RiffWave({Chunk("JUNK", Bytes(5000, 1)), FormatChunk(2, 8000, 16, 1, 3),
                 DataChunk(kFourSamples), Chunk("LIST", Bytes(3, 0))}),
       true, WavProblem::None, 12 + 5008 + 28 + 8, 8},
      {"first data chunk wins",
       RiffWave({FormatChunk(1, 8000), DataChunk(kFourSamples), DataChunk({1, 2})}), true,
       WavProblem::None, 44, 8},
      {"fmt after the data is never seen",
       RiffWave({DataChunk(kFourSamples), FormatChunk(1, 8000)}), true, WavProblem::MissingChunk,
       20, 8},
      {"seeking on a pipe fails silently",
       RiffWave({FormatChunk(1, 8000), DataChunk(kFourSamples)}), false, WavProblem::SeekFailed, 44,
       8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PipeInput pipe(c.file);
    ASSERT_NE(pipe.file, nullptr);
    const WavHeader header = ParseWavHeader(pipe.file, c.stopAtData);
    EXPECT_EQ(header.problem, c.problem);
    EXPECT_EQ(header.dataOffset, c.dataOffset);
    EXPECT_EQ(header.format.dataSize, c.dataSize);
    if (c.problem == WavProblem::None) {
      unsigned char first[2];
      ASSERT_EQ(std::fread(first, 1, 2, pipe.file), 2u);
      EXPECT_EQ(first[0], 1);  // the first sample, 1, little-endian
      EXPECT_EQ(first[1], 0);
    }
  }
}

}  // namespace
}  // namespace wavfx
