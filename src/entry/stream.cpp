#include "entry/stream.h"

#include <bit>
#include <cstddef>

namespace wavfx {
namespace {

// WAV samples are little-endian; on a big-endian host they are swapped around the effect.
void SwapToHostOrder(int16_t* samples, std::size_t count) {
  if constexpr (std::endian::native == std::endian::big) {
    for (std::size_t i = 0; i < count; ++i) {
      const auto bits = static_cast<uint16_t>(samples[i]);
      samples[i] = static_cast<int16_t>(static_cast<uint16_t>(bits << 8 | bits >> 8));
    }
  } else {
    (void)samples;
    (void)count;
  }
}

// Processes and writes `bytes` bytes of whole frames held in `block` and counts them in `written`.
// Returns false, counting nothing, when the output failed: an unbuffered stream's fwrite can report
// the full count and set only the error flag.
bool ProcessAndWrite(int16_t* block, uint32_t bytes, uint32_t blockAlign, EffectState& effect,
                     std::FILE* output, uint32_t& written) {
  SwapToHostOrder(block, bytes / 2);
  ProcessEffect(effect, block, static_cast<int32_t>(bytes / blockAlign));
  SwapToHostOrder(block, bytes / 2);
  if (std::fwrite(block, 1, bytes, output) != bytes || std::ferror(output)) return false;
  written += bytes;
  return true;
}

}  // namespace

StreamResult StreamBlocks(std::FILE* input, std::FILE* output, uint32_t dataSize,
                          uint32_t blockAlign, EffectState& effect) {
  alignas(16) int16_t block[kBlockBytes / 2];
  uint32_t remaining = dataSize;
  uint32_t written = 0;
  while (remaining > 0) {
    uint32_t count = remaining < kBlockBytes ? remaining : kBlockBytes;
    count -= count % blockAlign;
    if (count == 0) {
      // Less than a frame left is a trailing partial frame; a frame wider than a block is not.
      const bool tooWide = remaining >= blockAlign;
      return {tooWide ? StreamOutcome::FramesTooWide : StreamOutcome::Complete, written};
    }
    const std::size_t got = std::fread(block, 1, count, input);
    if (got < count) {
      std::fprintf(stderr, "Error: read failed\n");
      const auto whole = static_cast<uint32_t>(got - got % blockAlign);
      if (whole > 0 && !ProcessAndWrite(block, whole, blockAlign, effect, output, written)) {
        std::fprintf(stderr, "Error: write failed\n");
        return {StreamOutcome::WriteFailed, written};
      }
      return {StreamOutcome::ReadFailed, written};
    }
    if (!ProcessAndWrite(block, count, blockAlign, effect, output, written)) {
      std::fprintf(stderr, "Error: write failed\n");
      return {StreamOutcome::WriteFailed, written};
    }
    remaining -= count;
  }
  return {StreamOutcome::Complete, written};
}

}  // namespace wavfx
