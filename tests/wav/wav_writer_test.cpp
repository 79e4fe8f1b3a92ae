#include "wav/wav_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/wav_files.h"

namespace wavfx {
namespace {

using testing::Bytes;

uint32_t LE32At(const Bytes& bytes, std::size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

uint32_t LE16At(const Bytes& bytes, std::size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8;
}

std::string TagAt(const Bytes& bytes, std::size_t offset) {
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                     bytes.begin() + static_cast<std::ptrdiff_t>(offset + 4));
}

TEST(WriteWavHeader, WritesThe44ByteHeaderFieldByField) {
  struct Case {
    StreamFormat format;
    uint32_t riffSize;
    uint32_t channels;    // as written: the low 16 bits
    uint32_t blockAlign;  // likewise
  };
  const Case cases[] = {
      {{2, 44100, 16, 176400, 4, 1000}, 1036, 2, 4},
      {{2, 44100, 16, 176400, 4, 1001}, 1037, 2, 4},  // odd: declared as is, no pad byte
      {{1, 8000, 16, 16000, 2, 0}, 36, 1, 2},
      {{6, 48000, 16, 576000, 12, 0xFFFFFFF0}, 0x14, 6, 12},  // 32-bit wrap-around
      {{70000, 8000, 16, 1120000000, 140000, 4}, 40, 70000 & 0xFFFF, 140000 & 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format.dataSize);
    testing::TempDir dir;
    ::testing::internal::CaptureStderr();
    std::FILE* file = WriteWavHeader((dir / "out.wav").c_str(), c.format);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ftello(file), 44);
    ASSERT_EQ(std::fclose(file), 0);

    const Bytes bytes = testing::ReadFile(dir / "out.wav");
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(TagAt(bytes, 0), "RIFF");
    EXPECT_EQ(LE32At(bytes, 4), c.riffSize);
    EXPECT_EQ(TagAt(bytes, 8), "WAVE");
    EXPECT_EQ(TagAt(bytes, 12), "fmt ");
    EXPECT_EQ(LE32At(bytes, 16), 16u);
    EXPECT_EQ(LE16At(bytes, 20), 1u);
    EXPECT_EQ(LE16At(bytes, 22), c.channels);
    EXPECT_EQ(LE32At(bytes, 24), c.format.sampleRate);
    EXPECT_EQ(LE32At(bytes, 28), c.format.byteRate);
    EXPECT_EQ(LE16At(bytes, 32), c.blockAlign);
    EXPECT_EQ(LE16At(bytes, 34), 16u);
    EXPECT_EQ(TagAt(bytes, 36), "data");
    EXPECT_EQ(LE32At(bytes, 40), c.format.dataSize);
  }
}

TEST(WriteWavHeader, EmptiesAnExistingFile) {
  testing::TempDir dir;
  testing::WriteFile(dir / "out.wav", Bytes(5000, 0x55));
  std::FILE* file = WriteWavHeader((dir / "out.wav").c_str(), {1, 8000, 16, 16000, 2, 0});
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_EQ(testing::ReadFile(dir / "out.wav").size(), 44u);
}

TEST(WriteWavHeader, CannotCreateNamesThePath) {
  testing::TempDir dir;
  const std::string paths[] = {(dir / "missing" / "out.wav").string(),
                               (dir / "no dir %s%n" / "%s.wav").string(), ""};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    ::testing::internal::CaptureStderr();
    std::FILE* file = WriteWavHeader(path.c_str(), {2, 44100, 16, 176400, 4, 1000});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: cannot open output '" + path + "'\n");
    EXPECT_EQ(file, nullptr);
  }
}

TEST(WriteWavHeaderTo, ReportsARefusedWrite) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  EXPECT_FALSE(WriteWavHeaderTo(full, {2, 44100, 16, 176400, 4, 1000}));
  std::fclose(full);
}

TEST(PatchWavSizes, DescribesTheBytesWrittenAndReturnsToTheEnd) {
  struct Case {
    uint32_t declared;
    uint32_t written;
  };
  const Case cases[] = {{1000, 6}, {0xFFFFFFFF, 8}, {4, 0}, {2, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.declared);
    testing::TempDir dir;
    std::FILE* file =
        WriteWavHeader((dir / "out.wav").c_str(), {1, 8000, 16, 16000, 2, c.declared});
    ASSERT_NE(file, nullptr);
    const Bytes data(c.written, 0x5A);
    if (!data.empty()) {
      ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
    }
    EXPECT_TRUE(PatchWavSizes(file, c.written));
    EXPECT_EQ(ftello(file), 44 + static_cast<int64_t>(c.written));
    ASSERT_EQ(std::fputc(0x77, file), 0x77);  // appends, overwrites nothing
    ASSERT_EQ(std::fclose(file), 0);

    const Bytes bytes = testing::ReadFile(dir / "out.wav");
    ASSERT_EQ(bytes.size(), 45u + c.written);
    EXPECT_EQ(LE32At(bytes, 4), c.written + 36);
    EXPECT_EQ(LE32At(bytes, 40), c.written);
    EXPECT_EQ(TagAt(bytes, 36), "data");
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + 44));
    EXPECT_EQ(bytes.back(), 0x77);
  }
}

TEST(PatchWavSizes, FailsOnAPipe) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::FILE* out = ::fdopen(fds[1], "wb");
  ASSERT_NE(out, nullptr);
  ASSERT_TRUE(WriteWavHeaderTo(out, {1, 8000, 16, 16000, 2, 100}));
  EXPECT_FALSE(PatchWavSizes(out, 10));
  std::fclose(out);
  ::close(fds[0]);
}

}  // namespace
}  // namespace wavfx
