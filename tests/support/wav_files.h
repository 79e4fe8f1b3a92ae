#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

namespace wavfx::testing {

using Bytes = std::vector<uint8_t>;

void AppendLE16(Bytes& bytes, uint32_t value);
void AppendLE32(Bytes& bytes, uint32_t value);
void AppendTag(Bytes& bytes, const char* tag);

// A "fmt " chunk with the given fields; `extra` bytes follow the 16 standard ones.
Bytes FormatChunk(uint16_t channels, uint32_t sampleRate, uint16_t bits = 16, uint16_t tag = 1,
                  uint32_t extra = 0);
// Any chunk; an odd-sized body gets its pad byte.
Bytes Chunk(const char* tag, const Bytes& body);
Bytes DataChunk(const std::vector<int16_t>& samples);
// "RIFF", size, "WAVE" and the given chunks.
Bytes RiffWave(const std::vector<Bytes>& chunks);
// A chunk header declaring `declared` bytes followed by `body` as given (no pad added).
Bytes RawChunk(const char* tag, uint32_t declared, const Bytes& body = {});
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Prefix(const Bytes& bytes, std::size_t count);
// What WAVEffect writes: the canonical header declaring `declared` bytes, then `data`.
Bytes OutputFile(uint16_t channels, uint32_t sampleRate, uint32_t declared, const Bytes& data);
Bytes OutputFile(uint16_t channels, uint32_t sampleRate, const Bytes& data);
// A complete canonical 16-bit PCM file.
Bytes WavFile(uint16_t channels, uint32_t sampleRate, const std::vector<int16_t>& samples);

// The samples of a file produced by WAVEffect (everything after its 44-byte header).
std::vector<int16_t> SamplesAfterHeader(const Bytes& file);

// `count` bytes of distinct-looking sample data.
Bytes SampleBytes(std::size_t count);

// "RIFF", "WAVE", a format chunk, `before`, then a data chunk header declaring `declared` and
// `body`.
Bytes DeclaringWav(uint16_t channels, uint32_t rate, uint32_t declared, const Bytes& body,
                   const Bytes& before = {});

Bytes ReadFile(const std::filesystem::path& path);
// The names of the entries of a directory.
std::set<std::string> Listing(const std::filesystem::path& dir);
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);

// A fresh directory under the system temporary directory, removed with the object.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::filesystem::path operator/(const std::string& name) const { return path / name; }
  std::filesystem::path path;
};

std::u16string Utf16(const std::string& text);

}  // namespace wavfx::testing
