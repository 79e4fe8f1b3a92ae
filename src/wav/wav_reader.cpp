#include "wav/wav_reader.h"

#include <sys/stat.h>

#include <cstring>

#include "wav/little_endian.h"

namespace wavfx {
namespace {

bool ReadTag(std::FILE* file, char (&tag)[4]) {
  return std::fread(tag, 1, 4, file) == 4;
}

bool TagIs(const char (&tag)[4], const char* literal) {
  return std::memcmp(tag, literal, 4) == 0;
}

// Moves forward by `count` bytes. Chunk sizes are unsigned 32-bit, so skips use 64-bit offsets;
// a seek past the end of a file is no failure. Without seeking, the bytes are read and dropped.
bool SkipForward(std::FILE* file, uint64_t count, bool bySeeking) {
  if (bySeeking) return fseeko(file, static_cast<off_t>(count), SEEK_CUR) == 0;
  char scratch[4096];
  while (count > 0) {
    const std::size_t step =
        count < sizeof scratch ? static_cast<std::size_t>(count) : sizeof scratch;
    const std::size_t got = std::fread(scratch, 1, step, file);
    if (got == 0) return true;  // the end of input ends the walk at the next tag read
    count -= got;
  }
  return true;
}

struct FormatChunk {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t sampleRate;
  uint32_t byteRate;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
};

bool ReadFormatFields(std::FILE* file, FormatChunk& chunk) {
  return ReadLE16(file, chunk.formatTag) && ReadLE16(file, chunk.channels) &&
         ReadLE32(file, chunk.sampleRate) && ReadLE32(file, chunk.byteRate) &&
         ReadLE16(file, chunk.blockAlign) && ReadLE16(file, chunk.bitsPerSample);
}

WavHeader Refuse(WavHeader header, WavProblem problem, uint32_t detail = 0) {
  header.problem = problem;
  header.detail = detail;
  return header;
}

std::FILE* OpenInput(const char* path, char* streamBuffer) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  // A directory opens for reading here but is no file to read.
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  if (streamBuffer != nullptr) std::setvbuf(file, streamBuffer, _IOFBF, kFileBufferBytes);
  return file;
}

// How far a walk goes: to the end of a seekable file or to the first data chunk; whether it skips
// by seeking or by reading (a pipe); whether it refuses anything but 16-bit PCM.
struct Walk {
  bool stopAtData;
  bool bySeeking;
  bool anyEncoding;
};

WavHeader WalkChunks(std::FILE* file, Walk walk) {
  WavHeader header{};
  header.dataOffset = -1;
  const bool stopAtData = walk.stopAtData;
  const bool bySeeking = walk.bySeeking;
  char tag[4];
  uint32_t riffSize = 0;
  if (!ReadTag(file, tag)) return Refuse(header, WavProblem::Truncated);
  if (!TagIs(tag, "RIFF")) return Refuse(header, WavProblem::NotRiff);
  if (!ReadLE32(file, riffSize)) return Refuse(header, WavProblem::Truncated);
  if (!ReadTag(file, tag)) return Refuse(header, WavProblem::Truncated);
  if (!TagIs(tag, "WAVE")) return Refuse(header, WavProblem::NotWave);

  int64_t position = 12;  // counted by hand: a pipe cannot tell its position
  bool sawFormat = false;
  bool sawData = false;
  for (;;) {
    uint32_t size = 0;
    if (!ReadTag(file, tag) || !ReadLE32(file, size)) break;
    position += 8;
    if (TagIs(tag, "fmt ")) {
      FormatChunk chunk;
      if (!ReadFormatFields(file, chunk)) return Refuse(header, WavProblem::Truncated);
      if (size > 16 && !SkipForward(file, size - 16u, bySeeking)) {
        return Refuse(header, WavProblem::SeekFailed);
      }
      if (!walk.anyEncoding && chunk.formatTag != 1) {
        return Refuse(header, WavProblem::NotPcm, chunk.formatTag);
      }
      if (!walk.anyEncoding && chunk.bitsPerSample != 16) {
        return Refuse(header, WavProblem::Not16Bit, chunk.bitsPerSample);
      }
      if (chunk.channels == 0) return Refuse(header, WavProblem::NoChannels, 0);
      header.format.channels = chunk.channels;
      header.format.sampleRate = chunk.sampleRate;
      header.format.byteRate = chunk.byteRate;
      header.format.blockAlign = chunk.blockAlign;
      header.format.bitsPerSample = chunk.bitsPerSample;
      sawFormat = true;
      position += size > 16 ? size : 16;
    } else if (TagIs(tag, "data")) {
      header.dataOffset = position;
      header.format.dataSize = size;
      sawData = true;
      if (stopAtData) break;
      if (!SkipForward(file, size, bySeeking)) return Refuse(header, WavProblem::SeekFailed);
      position += size;
    } else {
      if (!SkipForward(file, size, bySeeking)) return Refuse(header, WavProblem::SeekFailed);
      position += size;
    }
    if (size % 2 == 1) {
      if (!SkipForward(file, 1, bySeeking)) return Refuse(header, WavProblem::SeekFailed);
      position += 1;
    }
  }
  if (!sawFormat || !sawData) return Refuse(header, WavProblem::MissingChunk);
  if (!stopAtData && fseeko(file, static_cast<off_t>(header.dataOffset), SEEK_SET) != 0) {
    return Refuse(header, WavProblem::SeekFailed);
  }
  return header;
}

}  // namespace

WavHeader ParseWavHeader(std::FILE* file, bool stopAtData) {
  return WalkChunks(file, {stopAtData, !stopAtData, false});
}

WavHeader ParseFirstDataChunk(std::FILE* file) {
  return WalkChunks(file, {true, true, true});
}

std::string DescribeWavProblem(WavProblem problem, uint32_t detail, const char* path) {
  switch (problem) {
    case WavProblem::None:
      return "";
    case WavProblem::CannotOpen:
      return std::string("cannot open input '") + path + "'";
    case WavProblem::Truncated:
      return "file ends inside its header";
    case WavProblem::NotRiff:
      return "not a RIFF file";
    case WavProblem::NotWave:
      return "not a WAVE file";
    case WavProblem::NotPcm:
      return "only PCM format supported (" + std::to_string(detail) + ")";
    case WavProblem::Not16Bit:
      return "only16-bit PCM supported (" + std::to_string(detail) + ")";
    case WavProblem::NoChannels:
      return "unsupported channel count (" + std::to_string(detail) + ")";
    case WavProblem::MissingChunk:
      return "missing fmt or data chunk";
    case WavProblem::SeekFailed:
      return "a chunk cannot be skipped (seek failed)";
  }
  return "";
}

bool IsSilentWavProblem(WavProblem problem) {
  return problem == WavProblem::Truncated || problem == WavProblem::SeekFailed;
}

void PrintWavProblem(WavProblem problem, uint32_t detail, const char* path, std::FILE* to) {
  if (problem == WavProblem::None || IsSilentWavProblem(problem)) return;
  std::fprintf(to, "Error: %s\n", DescribeWavProblem(problem, detail, path).c_str());
}

std::FILE* OpenWavFile(const char* path, WavHeader& header, char* streamBuffer) {
  header = WavHeader{};
  header.dataOffset = -1;
  std::FILE* file = OpenInput(path, streamBuffer);
  if (file == nullptr) {
    header.problem = WavProblem::CannotOpen;
    return nullptr;
  }
  header = ParseWavHeader(file, false);
  if (header.problem != WavProblem::None) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

std::FILE* ReadWavHeader(const char* path, StreamFormat& format, int64_t& dataOffset,
                         char* streamBuffer, std::FILE* messages) {
  WavHeader header;
  std::FILE* file = OpenWavFile(path, header, streamBuffer);
  if (file == nullptr) PrintWavProblem(header.problem, header.detail, path, messages);
  format = file != nullptr ? header.format : StreamFormat{};
  dataOffset = file != nullptr ? header.dataOffset : -1;
  return file;
}

}  // namespace wavfx
