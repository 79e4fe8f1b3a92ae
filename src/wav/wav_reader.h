#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "wav/stream_format.h"

namespace wavfx {

// Why a WAV header was refused. Truncated and SeekFailed are the silent failures: a file cut
// short inside its header, or a skip that could not be made.
enum class WavProblem {
  None,
  CannotOpen,
  Truncated,
  NotRiff,
  NotWave,
  NotPcm,
  Not16Bit,
  NoChannels,
  MissingChunk,
  SeekFailed,
};

struct WavHeader {
  StreamFormat format;
  int64_t dataOffset;  // file position of the first sample byte, -1 until a data chunk is seen
  WavProblem problem;
  uint32_t detail;  // the refused format tag, bit depth or channel count
};

// Walks the chunks of `file` from its current position, which must be the start of the RIFF
// header. Seekable files are walked to their end (the last "fmt " and "data" chunks win) and
// left positioned at the first sample byte. With `stopAtData` the walk ends at the first data
// chunk's body instead and skips by reading, so that a pipe can be read.
WavHeader ParseWavHeader(std::FILE* file, bool stopAtData);

// Walks a seekable file's chunks as ParseWavHeader does, up to its first data chunk, taking a
// format chunk of any encoding as it stands (format tag and bit depth unchecked).
WavHeader ParseFirstDataChunk(std::FILE* file);

// Why `problem` refuses a file, in the words of its diagnostic without "Error: " ("not a RIFF
// file"); the silent problems are described too ("file ends inside its header").
std::string DescribeWavProblem(WavProblem problem, uint32_t detail, const char* path);

// Whether `problem` refuses a file without printing a diagnostic.
bool IsSilentWavProblem(WavProblem problem);

// Prints the diagnostic line for `problem` to `to`; the silent problems print nothing.
void PrintWavProblem(WavProblem problem, uint32_t detail, const char* path, std::FILE* to = stderr);

// Opens `path` and parses its header into `header`. Returns the file positioned at the first
// sample byte, or null, the file closed, with header.problem saying why (CannotOpen when it could
// not be opened or is a directory). Prints nothing. A non-null `streamBuffer` of kFileBufferBytes
// becomes the file's stdio buffer.
std::FILE* OpenWavFile(const char* path, WavHeader& header, char* streamBuffer = nullptr);

// Opens `path` and parses its header. Returns the file positioned at the first sample byte, or
// null after closing the file and printing the diagnostic to `messages`. A non-null
// `streamBuffer` of kFileBufferBytes becomes the file's stdio buffer.
std::FILE* ReadWavHeader(const char* path, StreamFormat& format, int64_t& dataOffset,
                         char* streamBuffer = nullptr, std::FILE* messages = stderr);

}  // namespace wavfx
