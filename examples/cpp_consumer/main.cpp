// A C++ host of libwavfx: holds a WAV file's samples in memory and streams them through every
// effect in blocks, the way an audio callback would, writing OUTDIR/<effect>.wav for each.
//
// Usage: cpp_consumer INPUT.wav OUTDIR
#include <wavfx/wavfx.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <string_view>
#include <vector>

namespace {

struct Audio {
  uint32_t channels = 0;
  uint32_t sampleRate = 0;
  std::vector<int16_t> samples;  // interleaved whole frames, host byte order
};

uint32_t Le16(const unsigned char* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8;
}
uint32_t Le32(const unsigned char* at) {
  return Le16(at) | Le16(at + 2) << 16;
}

std::optional<Audio> ReadWav(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), {}};
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
      std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    return std::nullopt;
  }
  Audio audio;
  bool pcm16 = false;
  std::span<const unsigned char> data;
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const std::size_t body = at + 8;
    const std::size_t length = Le32(&bytes[at + 4]);
    const std::size_t available = std::min(length, bytes.size() - body);
    if (std::memcmp(&bytes[at], "fmt ", 4) == 0 && available >= 16) {
      pcm16 = Le16(&bytes[body]) == 1 && Le16(&bytes[body + 14]) == 16;
      audio.channels = Le16(&bytes[body + 2]);
      audio.sampleRate = Le32(&bytes[body + 4]);
    } else if (std::memcmp(&bytes[at], "data", 4) == 0) {
      data = std::span(bytes).subspan(body, available);
    }
    at = body + length + (length & 1);
  }
  if (!pcm16 || audio.channels == 0 || data.empty()) return std::nullopt;
  const std::size_t frames = data.size() / 2 / audio.channels;
  audio.samples.resize(frames * audio.channels);
  for (std::size_t i = 0; i < audio.samples.size(); ++i) {
    audio.samples[i] = static_cast<int16_t>(Le16(&data[2 * i]));
  }
  return audio;
}

bool WriteWav(const std::string& path, const Audio& audio) {
  std::vector<unsigned char> bytes;
  auto put = [&bytes](uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
      bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
  };
  auto tag = [&bytes](const char* text) { bytes.insert(bytes.end(), text, text + 4); };
  const auto dataSize = static_cast<uint32_t>(audio.samples.size() * 2);
  const uint32_t blockAlign = 2 * audio.channels;
  tag("RIFF");
  put(36 + dataSize, 4);
  tag("WAVE");
  tag("fmt ");
  put(16, 4);
  put(1, 2);
  put(audio.channels, 2);
  put(audio.sampleRate, 4);
  put(audio.sampleRate * blockAlign, 4);
  put(blockAlign, 2);
  put(16, 2);
  tag("data");
  put(dataSize, 4);
  for (const int16_t sample : audio.samples)
    put(static_cast<uint16_t>(sample), 2);
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: cpp_consumer INPUT.wav OUTDIR\n");
    return 2;
  }
  const std::optional<Audio> input = ReadWav(argv[1]);
  if (!input) {
    std::fprintf(stderr, "cpp_consumer: cannot read %s\n", argv[1]);
    return 1;
  }
  std::printf("cpp_consumer: wavfx %s, %u channels at %u Hz\n", wavfx::Version(),
              static_cast<unsigned>(input->channels), static_cast<unsigned>(input->sampleRate));
  for (const wavfx::EffectInfo& info : wavfx::ListEffects()) {
    if (info.alias) continue;
    // norm and loudnorm measure their whole input before they run: not for a stream's blocks.
    const std::string_view name = info.name;
    if (name == "norm" || name == "loudnorm") continue;
    wavfx::Effect effect(info.name, input->channels, input->sampleRate);
    if (!effect) {
      std::fprintf(stderr, "cpp_consumer: cannot create %s\n", info.name);
      return 1;
    }
    if (wavfx_effect_reshapes(effect.Get()) != 0) continue;  // these need the flow calls
    Audio output = *input;
    // 512 frames per call, as an audio callback might deliver them.
    const std::span<int16_t> samples(output.samples);
    const std::size_t block = 512 * std::size_t{output.channels};
    for (std::size_t at = 0; at < samples.size(); at += block) {
      if (effect.Process(samples.subspan(at, std::min(block, samples.size() - at))) != WAVFX_OK) {
        std::fprintf(stderr, "cpp_consumer: %s failed\n", info.name);
        return 1;
      }
    }
    const std::string path = std::string(argv[2]) + "/" + info.name + ".wav";
    if (!WriteWav(path, output)) {
      std::fprintf(stderr, "cpp_consumer: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("  %-10s %s\n", info.name, info.description);
  }
  return 0;
}
