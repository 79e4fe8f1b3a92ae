// Writes the whole-file benchmark's input: music-like stereo at 44100 Hz, 16-bit, the first
// minute repeated for as many minutes as asked.
//
// Usage: wavfx_make_bench_wav OUTPUT.wav MINUTES
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_signals.h"
#include "wav/wav_writer.h"

int main(int argc, char** argv) {
  const long minutes = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 0;
  // The data size must fit the header's 32 bits: at most 405 minutes.
  if (minutes < 1 || minutes > 400) {
    std::fprintf(stderr, "usage: wavfx_make_bench_wav OUTPUT.wav MINUTES (1 to 400)\n");
    return 1;
  }
  constexpr uint32_t kRate = 44100;
  constexpr uint32_t kChannels = 2;
  const std::vector<int16_t> minute = wavfx::bench::MusicSignal(60 * kRate, kChannels, kRate);
  std::vector<unsigned char> bytes(minute.size() * 2);
  for (std::size_t i = 0; i < minute.size(); ++i) {
    bytes[2 * i] = static_cast<unsigned char>(minute[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<unsigned char>((minute[i] >> 8) & 0xFF);
  }
  const auto dataSize = static_cast<uint32_t>(bytes.size() * static_cast<std::size_t>(minutes));
  const wavfx::StreamFormat format{kChannels,     kRate,   16, kRate * 2 * kChannels,
                                   2 * kChannels, dataSize};
  std::FILE* file = wavfx::WriteWavHeader(argv[1], format);
  if (file == nullptr) return 1;
  bool ok = true;
  for (long i = 0; i < minutes && ok; ++i) {
    ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  }
  return std::fclose(file) == 0 && ok ? 0 : 1;
}
