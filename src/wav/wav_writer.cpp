#include "wav/wav_writer.h"

#include "wav/little_endian.h"

namespace wavfx {
namespace {

bool WriteTag(std::FILE* file, const char* tag) {
  return std::fwrite(tag, 1, 4, file) == 4;
}

}  // namespace

bool WriteWavHeaderTo(std::FILE* file, const StreamFormat& format) {
  bool ok = WriteTag(file, "RIFF");
  ok &= WriteLE32(file, format.dataSize + 36);
  ok &= WriteTag(file, "WAVE");
  ok &= WriteTag(file, "fmt ");
  ok &= WriteLE32(file, 16);
  ok &= WriteLE16(file, 1);
  ok &= WriteLE16(file, static_cast<uint16_t>(format.channels));
  ok &= WriteLE32(file, format.sampleRate);
  ok &= WriteLE32(file, format.byteRate);
  ok &= WriteLE16(file, static_cast<uint16_t>(format.blockAlign));
  ok &= WriteLE16(file, static_cast<uint16_t>(format.bitsPerSample));
  ok &= WriteTag(file, "data");
  ok &= WriteLE32(file, format.dataSize);
  return ok;
}

std::FILE* CreateWavFile(const char* path, const StreamFormat& format, char* streamBuffer) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return nullptr;
  if (streamBuffer != nullptr) std::setvbuf(file, streamBuffer, _IOFBF, kFileBufferBytes);
  // A failed header write surfaces as a write failure when the stream is flushed.
  WriteWavHeaderTo(file, format);
  return file;
}

std::FILE* WriteWavHeader(const char* path, const StreamFormat& format, char* streamBuffer) {
  std::FILE* file = CreateWavFile(path, format, streamBuffer);
  if (file == nullptr) std::fprintf(stderr, "Error: cannot open output '%s'\n", path);
  return file;
}

bool PatchWavSizes(std::FILE* file, uint32_t dataBytes) {
  if (fseeko(file, 4, SEEK_SET) != 0) return false;
  bool ok = WriteLE32(file, dataBytes + 36);
  ok &= fseeko(file, 40, SEEK_SET) == 0 && WriteLE32(file, dataBytes);
  ok &= fseeko(file, 0, SEEK_END) == 0;
  return ok;
}

}  // namespace wavfx
