#pragma once

#include <cstddef>
#include <cstdint>

namespace wavfx {

// Stream buffer for WAV files: large enough that 2048-byte blocks cost few system calls. The
// caller provides it (stdio ignores the size of a buffer it allocates itself) and keeps it
// until the file is closed.
constexpr std::size_t kFileBufferBytes = 1 << 18;

// Piped WAV streams of unknown length declare 0xFFFFFFFF or 0x7FFFF000 bytes of data.
constexpr uint32_t kUnknownDataSize = 0x7FFFF000;

// What the reader learned of a WAV file's sample data.
struct StreamFormat {
  uint32_t channels;
  uint32_t sampleRate;
  uint32_t bitsPerSample;
  uint32_t byteRate;
  uint32_t blockAlign;
  uint32_t dataSize;
};

}  // namespace wavfx
