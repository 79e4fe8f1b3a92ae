#include "support/wav_files.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>

#include "platform/text_conversion.h"

namespace wavfx::testing {

void AppendLE16(Bytes& bytes, uint32_t value) {
  bytes.push_back(static_cast<uint8_t>(value));
  bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void AppendLE32(Bytes& bytes, uint32_t value) {
  AppendLE16(bytes, value & 0xFFFF);
  AppendLE16(bytes, value >> 16);
}

void AppendTag(Bytes& bytes, const char* tag) {
  for (int i = 0; i < 4; ++i)
    bytes.push_back(static_cast<uint8_t>(tag[i]));
}

Bytes FormatChunk(uint16_t channels, uint32_t sampleRate, uint16_t bits, uint16_t tag,
                  uint32_t extra) {
  Bytes body;
  AppendLE16(body, tag);
  AppendLE16(body, channels);
  AppendLE32(body, sampleRate);
  AppendLE32(body, sampleRate * channels * 2u);
  AppendLE16(body, channels * 2u);
  AppendLE16(body, bits);
  body.resize(body.size() + extra, 0);
  return Chunk("fmt ", body);
}

Bytes Chunk(const char* tag, const Bytes& body) {
  Bytes chunk;
  AppendTag(chunk, tag);
  AppendLE32(chunk, static_cast<uint32_t>(body.size()));
  chunk.insert(chunk.end(), body.begin(), body.end());
  if (body.size() % 2 == 1) chunk.push_back(0);
  return chunk;
}

Bytes DataChunk(const std::vector<int16_t>& samples) {
  Bytes body;
  for (int16_t sample : samples)
    AppendLE16(body, static_cast<uint16_t>(sample));
  return Chunk("data", body);
}

Bytes RiffWave(const std::vector<Bytes>& chunks) {
  Bytes file;
  AppendTag(file, "RIFF");
  std::size_t size = 4;
  for (const Bytes& chunk : chunks)
    size += chunk.size();
  AppendLE32(file, static_cast<uint32_t>(size));
  AppendTag(file, "WAVE");
  for (const Bytes& chunk : chunks)
    file.insert(file.end(), chunk.begin(), chunk.end());
  return file;
}

Bytes RawChunk(const char* tag, uint32_t declared, const Bytes& body) {
  Bytes chunk;
  AppendTag(chunk, tag);
  AppendLE32(chunk, declared);
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Prefix(const Bytes& bytes, std::size_t count) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

Bytes OutputFile(uint16_t channels, uint32_t sampleRate, uint32_t declared, const Bytes& data) {
  Bytes file;
  AppendTag(file, "RIFF");
  AppendLE32(file, declared + 36);
  AppendTag(file, "WAVE");
  AppendTag(file, "fmt ");
  AppendLE32(file, 16);
  AppendLE16(file, 1);
  AppendLE16(file, channels);
  AppendLE32(file, sampleRate);
  AppendLE32(file, sampleRate * channels * 2u);
  AppendLE16(file, channels * 2u);
  AppendLE16(file, 16);
  AppendTag(file, "data");
  AppendLE32(file, declared);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

Bytes OutputFile(uint16_t channels, uint32_t sampleRate, const Bytes& data) {
  return OutputFile(channels, sampleRate, static_cast<uint32_t>(data.size()), data);
}

Bytes WavFile(uint16_t channels, uint32_t sampleRate, const std::vector<int16_t>& samples) {
  return RiffWave({FormatChunk(channels, sampleRate), DataChunk(samples)});
}

std::vector<int16_t> SamplesAfterHeader(const Bytes& file) {
  std::vector<int16_t> samples;
  for (std::size_t i = 44; i + 1 < file.size(); i += 2) {
    samples.push_back(static_cast<int16_t>(file[i] | file[i + 1] << 8));
  }
  return samples;
}

Bytes SampleBytes(std::size_t count) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

Bytes DeclaringWav(uint16_t channels, uint32_t rate, uint32_t declared, const Bytes& body,
                   const Bytes& before) {
  Bytes file;
  AppendTag(file, "RIFF");
  AppendLE32(file, 0);
  AppendTag(file, "WAVE");
  const Bytes format = FormatChunk(channels, rate);
  file.insert(file.end(), format.begin(), format.end());
  file.insert(file.end(), before.begin(), before.end());
  AppendTag(file, "data");
  AppendLE32(file, declared);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> Listing(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename());
  return names;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path = std::filesystem::temp_directory_path() /
         ("wavfx-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(path);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::u16string Utf16(const std::string& text) {
  std::u16string wide;
  Utf8ToUtf16(text, wide);
  return wide;
}

}  // namespace wavfx::testing
