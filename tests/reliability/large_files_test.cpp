#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "support/sparse_file.h"
#include "support/wav_files.h"
#include "wav/wav_reader.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

using testing::AppendLE32;
using testing::AppendTag;
using testing::Bytes;
using testing::Chunk;
using testing::Concat;
using testing::DataChunk;
using testing::FormatChunk;
using testing::Utf16;
using testing::WriteSparse;

constexpr int64_t k4GiB = int64_t{1} << 32;

// A chunk header declaring `declared` bytes; its body is left to the file's holes.
Bytes ChunkHeader(const char* tag, uint32_t declared) {
  Bytes header;
  AppendTag(header, tag);
  AppendLE32(header, declared);
  return header;
}

Bytes RiffHeader() {
  Bytes header;
  AppendTag(header, "RIFF");
  AppendLE32(header, 0xFFFFFFFF);
  AppendTag(header, "WAVE");
  return header;
}

std::vector<int16_t> Samples(std::size_t count) {
  std::vector<int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i)
    samples[i] = static_cast<int16_t>(i * 977);
  return samples;
}

int32_t Apply(const std::filesystem::path& input, const std::filesystem::path& output) {
  return WAVEffect(Utf16(input.string()).c_str(), Utf16(output.string()).c_str(), u"echo");
}

// Chunks placed beyond 4 GiB, behind skips of more than 2 GiB: the output must be the one of a
// compact file holding only the format and the data that win.
TEST(LargeFiles, ChunksBeyond4GiBGiveTheOutputOfTheCompactFile) {
  const Bytes format = FormatChunk(2, 22050);
  const Bytes data = DataChunk(Samples(6000));
  struct Case {
    const char* name;
    std::vector<std::pair<int64_t, Bytes>> pieces;
  };
  const Case cases[] = {
      {"skips of 0xFFFFFFF0 and 0x90000000 before the data",
       {{0, Concat({RiffHeader(), format, ChunkHeader("JUNK", 0xFFFFFFF0)})},
        {int64_t{36 + 8} + 0xFFFFFFF0, ChunkHeader("LIST", 0x90000000)},
        {int64_t{36 + 8} + 0xFFFFFFF0 + 8 + 0x90000000, data}}},
      {"odd skip of 0xFFFFFFFF and its pad byte before format and data",
       {{0, Concat({RiffHeader(), ChunkHeader("JUNK", 0xFFFFFFFF)})},
        {int64_t{20} + 0xFFFFFFFF + 1, Concat({format, data})}}},
      {"early data replaced by data beyond 4 GiB",
       {{0,
         Concat({RiffHeader(), format, DataChunk(Samples(10)), ChunkHeader("JUNK", 0xFFFFFFFE)})},
        {int64_t{36 + 28 + 8} + 0xFFFFFFFE, data}}},
  };
  testing::TempDir dir;
  testing::WriteFile(dir / "compact.wav", testing::RiffWave({format, data}));
  ASSERT_EQ(Apply(dir / "compact.wav", dir / "compact-out.wav"), 999);
  const Bytes expected = testing::ReadFile(dir / "compact-out.wav");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteSparse(dir / "big.wav", c.pieces);
    ASSERT_GT(std::filesystem::file_size(dir / "big.wav"), static_cast<uintmax_t>(k4GiB));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Apply(dir / "big.wav", dir / "out.wav"), 999);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::ReadFile(dir / "out.wav"), expected);
  }
}

// A data chunk declaring 0xFFFFFFFF bytes, an odd size, so its pad byte puts the next chunk at
// 2^32 + 20. Only the header is read: streaming 4 GiB of holes proves nothing more.
TEST(LargeFiles, TheWalkGoesOnAfterADataChunkOf0xFFFFFFFFBytes) {
  constexpr int64_t kAfter = 20 + k4GiB;
  const Bytes format = FormatChunk(2, 8000);
  struct Case {
    const char* name;
    Bytes tail;  // at kAfter
    int64_t dataOffset;
    uint32_t dataSize;
  };
  const Case cases[] = {
      {"format after it", Concat({format, Chunk("LIST", Bytes(5, 1))}), 20, 0xFFFFFFFF},
      {"format and a later data chunk after it", Concat({format, DataChunk(Samples(4))}),
       kAfter + 24 + 8, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    WriteSparse(dir / "big.wav",
                {{0, Concat({RiffHeader(), ChunkHeader("data", 0xFFFFFFFF)})}, {kAfter, c.tail}});
    StreamFormat read{};
    int64_t dataOffset = 0;
    ::testing::internal::CaptureStderr();
    std::FILE* file = ReadWavHeader((dir / "big.wav").c_str(), read, dataOffset);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ftello(file), c.dataOffset);
    std::fclose(file);
    EXPECT_EQ(dataOffset, c.dataOffset);
    EXPECT_EQ(read.dataSize, c.dataSize);
    EXPECT_EQ(read.channels, 2u);
    EXPECT_EQ(read.sampleRate, 8000u);
  }
}

}  // namespace
}  // namespace wavfx
