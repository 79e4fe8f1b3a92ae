#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "wav/stream_format.h"

namespace wavfx {

struct ChainRecipe;
struct WavHeader;

// Reports the data bytes written so far and the number the job will write when it completes
// (0 when unknown: a piped input whose header declares no real size). Called on the job's thread
// once before the first block and after every block, so it must return quickly.
using ProgressCallback = void (*)(void* context, uint64_t bytesDone, uint64_t bytesTotal);

// What a job may do beyond WAVEffect's; the defaults give exactly WAVEffect's job.
struct JobOptions {
  // Seconds of silence fed through the effect after the input, so that echoes and reverberation
  // ring out; the output header declares the longer data.
  double tailSeconds = 0;
  ProgressCallback progress = nullptr;
  void* progressContext = nullptr;
  // Open streams used instead of the input or output path, such as standard input and output.
  // They stay open. The input must be at the start of its RIFF header; unless it is a regular
  // file at offset 0, its header is read up to the first data chunk only and its data is read
  // up to the declared size or the end of input, whichever comes first (to the end of input when
  // the declared size is kUnknownDataSize or more).
  std::FILE* input = nullptr;
  std::FILE* output = nullptr;
  // Where the job's diagnostic lines go; null means standard error. An output path that cannot
  // be created is reported on standard error all the same.
  std::FILE* messages = nullptr;
  // The header of `input` as the caller already parsed it, the stream left at its first sample
  // byte: it is not read again. Only with a regular input file.
  const WavHeader* header = nullptr;
  // Prints nothing at all, not even to `messages`.
  bool silent = false;
  // When set, receives every diagnostic line without "Error: ", joined by "; ".
  std::string* reasons = nullptr;
  // A regular input file whose header declares kUnknownDataSize bytes or more is read to its
  // end, as a pipe is, instead of failing where the data ends.
  bool unknownSizeReadsToEnd = false;
  // The input path holds what a pipe delivered (kept in a temporary file): as for the pipe, the
  // end of its data is normal, short of the declared size or not.
  bool inputWasPiped = false;
  // When set, receives the number of whole frames written, tail included.
  uint64_t* framesWritten = nullptr;
  // A parsed chain to run instead of the effect named by the job's third argument.
  const ChainRecipe* chain = nullptr;
  // An output path is written under a temporary name and renamed into place when the job ends
  // (see PendingOutput), instead of being emptied and written from the start.
  bool atomicOutput = false;
};

}  // namespace wavfx
