#pragma once

#include <cstdint>
#include <cstdio>

#include "wav/stream_format.h"

namespace wavfx {

constexpr uint32_t kWavHeaderSize = 44;

// Writes the 44-byte PCM header describing `format` at the current position of `file`.
// Returns whether every byte was accepted by the stream.
bool WriteWavHeaderTo(std::FILE* file, const StreamFormat& format);

// Creates (or empties) `path` and writes its header. Returns the file positioned after the
// header, or null after printing the diagnostic when the file cannot be created. A non-null
// `streamBuffer` of kFileBufferBytes becomes the file's stdio buffer.
// Creates `path` and writes the header, as WriteWavHeader does, but prints nothing: null when the
// file cannot be created.
std::FILE* CreateWavFile(const char* path, const StreamFormat& format,
                         char* streamBuffer = nullptr);

std::FILE* WriteWavHeader(const char* path, const StreamFormat& format,
                          char* streamBuffer = nullptr);

// Rewrites the RIFF and data sizes of a header written by WriteWavHeaderTo so that they
// describe `dataBytes`, then returns to the end of the file. Returns false when the stream
// cannot be repositioned (a pipe) or the write fails.
bool PatchWavSizes(std::FILE* file, uint32_t dataBytes);

}  // namespace wavfx
