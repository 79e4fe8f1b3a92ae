#include "formats/wav_extensible.h"

#include <cstdio>
#include <cstring>

namespace wavfx {
namespace {

constexpr uint16_t kExtensibleTag = 0xFFFE;

uint16_t ReadLE16(const unsigned char* at) {
  return static_cast<uint16_t>(at[0] | at[1] << 8);
}

uint32_t ReadLE32(const unsigned char* at) {
  return ReadLE16(at) | static_cast<uint32_t>(ReadLE16(at + 2)) << 16;
}

void WriteLE16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

void WriteLE32(unsigned char* at, uint32_t value) {
  WriteLE16(at, static_cast<uint16_t>(value));
  WriteLE16(at + 2, static_cast<uint16_t>(value >> 16));
}

// Finds the extensible format chunk before the data and returns the offset of its body.
long FindExtensible(std::FILE* file, WavExtensible& fields) {
  unsigned char header[12];
  if (std::fread(header, 1, 12, file) != 12 || std::memcmp(header + 8, "WAVE", 4) != 0 ||
      (std::memcmp(header, "RIFF", 4) != 0 && std::memcmp(header, "RF64", 4) != 0 &&
       std::memcmp(header, "BW64", 4) != 0)) {
    return -1;
  }
  for (int chunks = 0; chunks < 64; ++chunks) {
    unsigned char chunk[8];
    if (std::fread(chunk, 1, 8, file) != 8 || std::memcmp(chunk, "data", 4) == 0) return -1;
    const uint32_t size = ReadLE32(chunk + 4);
    const long body = std::ftell(file);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      unsigned char format[40];
      if (size < 40 || std::fread(format, 1, 40, file) != 40) return -1;
      if (ReadLE16(format) != kExtensibleTag) return -1;
      fields.channels = ReadLE16(format + 2);
      fields.containerBits = ReadLE16(format + 14);
      fields.validBits = ReadLE16(format + 18);
      fields.channelMask = ReadLE32(format + 20);
      return body;
    }
    if (std::fseek(file, body + static_cast<long>(size + (size & 1)), SEEK_SET) != 0) return -1;
  }
  return -1;
}

}  // namespace

bool ReadWavExtensible(const char* path, WavExtensible& fields) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  const bool found = FindExtensible(file, fields) >= 0;
  std::fclose(file);
  return found;
}

void CopyWavExtensible(const char* input, const char* output) {
  WavExtensible from{};
  if (!ReadWavExtensible(input, from)) return;
  std::FILE* file = std::fopen(output, "r+b");
  if (file == nullptr) return;
  WavExtensible to{};
  const long body = FindExtensible(file, to);
  if (body >= 0 && to.channels == from.channels) {
    unsigned char fields[6];
    WriteLE16(fields, to.containerBits == from.containerBits ? from.validBits : to.validBits);
    WriteLE32(fields + 2, from.channelMask);
    if (std::fseek(file, body + 18, SEEK_SET) == 0) std::fwrite(fields, 1, sizeof fields, file);
  }
  std::fclose(file);
}

}  // namespace wavfx
