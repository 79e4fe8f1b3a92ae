// Writes the fuzzing seed corpus into the directory given as the only argument: small WAV files
// of every chunk layout the reader accepts and of each way it refuses one, each preceded by the
// byte that picks the effect.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/effect.h"
#include "support/wav_files.h"

namespace {

using namespace wavfx::testing;

struct Seed {
  const char* name;
  Bytes file;
};

Bytes Fields(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t byteRate, uint16_t align,
             uint16_t bits) {
  Bytes fields;
  AppendLE16(fields, tag);
  AppendLE16(fields, channels);
  AppendLE32(fields, rate);
  AppendLE32(fields, byteRate);
  AppendLE16(fields, align);
  AppendLE16(fields, bits);
  return fields;
}

Bytes Head(const char* riff, const char* form) {
  Bytes head;
  AppendTag(head, riff);
  AppendLE32(head, 0);
  AppendTag(head, form);
  return head;
}

// A loud, varied signal, so that every effect's arithmetic, clipping included, is reached.
std::vector<int16_t> Signal(std::size_t samples) {
  std::vector<int16_t> signal(samples);
  uint32_t state = 12345;
  for (std::size_t i = 0; i < samples; ++i) {
    state = state * 1103515245u + 12345u;
    signal[i] = static_cast<int16_t>(i % 64 < 8 ? 32767 - static_cast<int>(i % 2) * 65535
                                                : static_cast<int>(state >> 16) - 32768);
  }
  return signal;
}

std::vector<Seed> Seeds() {
  const Bytes fmt2 = FormatChunk(2, 44100);
  const Bytes data = DataChunk(Signal(1200));
  const Bytes small = DataChunk(Signal(6));
  return {
      {"canonical-stereo", WavFile(2, 44100, Signal(2400))},
      {"canonical-mono-8k", WavFile(1, 8000, Signal(3000))},
      {"three-channels", WavFile(3, 22050, Signal(1500))},
      {"six-channels-96k", WavFile(6, 96000, Signal(1200))},
      {"1024-channels", WavFile(1024, 8000, Signal(2048))},
      {"1025-channels-frame-wider-than-block", WavFile(1025, 8000, Signal(1025))},
      {"65535-channels", RiffWave({FormatChunk(65535, 8000), small})},
      {"rate-0", RiffWave({FormatChunk(2, 0), data})},
      {"rate-1", RiffWave({FormatChunk(1, 1), data})},
      {"rate-max", RiffWave({FormatChunk(2, 0xFFFFFFFF), data})},
      {"rate-2^31", RiffWave({FormatChunk(1, 0x80000000), data})},
      {"rates-mismatched", RiffWave({Chunk("fmt ", Fields(1, 2, 44100, 7, 1, 16)), data})},
      {"fmt-18", RiffWave({FormatChunk(2, 44100, 16, 1, 2), data})},
      {"fmt-odd-17", RiffWave({FormatChunk(2, 44100, 16, 1, 1), data})},
      {"fmt-40", RiffWave({FormatChunk(2, 44100, 16, 1, 24), data})},
      {"fmt-declares-14", Concat({Head("RIFF", "WAVE"),
                                  RawChunk("fmt ", 14, Fields(1, 2, 8000, 32000, 4, 16)), data})},
      {"data-before-fmt", RiffWave({data, fmt2})},
      {"junk-before-fmt", RiffWave({Chunk("JUNK", Bytes(28, 0)), fmt2, data})},
      {"list-after-data", RiffWave({fmt2, data, Chunk("LIST", Bytes(9, 'a'))})},
      {"odd-chunk-padded", RiffWave({fmt2, Chunk("odd ", Bytes(3, 1)), data})},
      {"two-data-chunks", RiffWave({fmt2, small, data})},
      {"two-fmt-chunks", RiffWave({FormatChunk(1, 8000), data, fmt2})},
      {"capital-tags-skipped",
       RiffWave({Chunk("FMT ", Fields(3, 1, 1, 1, 1, 8)), fmt2, Chunk("DATA", Bytes(4, 9)), data})},
      {"data-0", RiffWave({fmt2, Chunk("data", {})})},
      {"data-odd", RiffWave({FormatChunk(1, 8000), Chunk("data", Bytes(7, 0x80))})},
      {"data-partial-frame", RiffWave({fmt2, Chunk("data", Bytes(4002, 0x7F))})},
      {"data-longer-than-file",
       Concat({Head("RIFF", "WAVE"), fmt2, RawChunk("data", 5000, Bytes(3002, 0x55))})},
      {"data-0xffffffff",
       Concat({Head("RIFF", "WAVE"), fmt2, RawChunk("data", 0xFFFFFFFF, Bytes(4100, 1))})},
      {"skip-2^31-after-data",
       Concat({Head("RIFF", "WAVE"), fmt2, data, RawChunk("LIST", 0x80000000)})},
      {"skip-0xffffffff-before-data",
       Concat({Head("RIFF", "WAVE"), fmt2, RawChunk("JUNK", 0xFFFFFFFF), data})},
      {"fmt-size-0xffffffff", Concat({Head("RIFF", "WAVE"), data,
                                      RawChunk("fmt ", 0xFFFFFFFF, Fields(1, 2, 8000, 0, 0, 16))})},
      {"chunk-header-cut", Concat({RiffWave({fmt2, data}), Bytes{'L', 'I', 'S'}})},
      {"refused-empty", {}},
      {"refused-three-bytes", {'R', 'I', 'F'}},
      {"refused-rifx", Concat({Head("RIFX", "WAVE"), fmt2, data})},
      {"refused-riff-size-cut", {'R', 'I', 'F', 'F', 0, 0}},
      {"refused-form-cut", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A'}},
      {"refused-not-wave", Concat({Head("RIFF", "AVI "), fmt2, data})},
      {"refused-float", RiffWave({FormatChunk(2, 44100, 32, 3), data})},
      {"refused-extensible", RiffWave({FormatChunk(2, 44100, 16, 65534, 22), data})},
      {"refused-8-bit", RiffWave({FormatChunk(1, 8000, 8), data})},
      {"refused-24-bit", RiffWave({FormatChunk(2, 48000, 24), data})},
      {"refused-0-channels", RiffWave({FormatChunk(0, 44100), data})},
      {"refused-fmt-fields-cut",
       Concat({Head("RIFF", "WAVE"), RawChunk("fmt ", 16, Bytes{1, 0, 2, 0, 0x44, 0xAC})})},
      {"refused-no-data", RiffWave({fmt2})},
      {"refused-no-fmt", RiffWave({data})},
      {"refused-no-chunks", Head("RIFF", "WAVE")},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  const auto names = wavfx::EffectNames();
  const std::size_t picks = names.size() + 1;
  auto write = [&dir](std::size_t pick, const std::string& label, const Bytes& file) {
    Bytes bytes(file.size() + 1);
    bytes[0] = static_cast<uint8_t>(pick);
    std::copy(file.begin(), file.end(), bytes.begin() + 1);
    WriteFile(dir / label, bytes);
  };
  const std::vector<Seed> seeds = Seeds();
  for (std::size_t pick = 0; pick < picks; ++pick) {
    write(pick, "effect-" + std::string(pick < names.size() ? names[pick].literal : "unknown"),
          seeds[0].file);
  }
  for (std::size_t i = 0; i < seeds.size(); ++i)
    write(i % picks, seeds[i].name, seeds[i].file);
  std::printf("%zu seeds written to %s\n", picks + seeds.size(), dir.c_str());
  return 0;
}
