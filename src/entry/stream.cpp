#include "entry/stream.h"

#include <bit>
#include <cstddef>
#include <cstring>

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
bool ProcessAndWrite(int16_t* block, uint32_t bytes, uint32_t blockAlign, EffectChain& effect,
                     std::FILE* output, uint64_t& written) {
  SwapToHostOrder(block, bytes / 2);
  ProcessChainSamples(effect, block, bytes / blockAlign);
  SwapToHostOrder(block, bytes / 2);
  if (std::fwrite(block, 1, bytes, output) != bytes || std::ferror(output)) return false;
  written += bytes;
  return true;
}

// The bytes of the next block: whole frames, at most `remaining` and one block.
uint32_t NextBlockBytes(uint64_t remaining, uint32_t blockAlign) {
  const uint32_t count = remaining < kBlockBytes ? static_cast<uint32_t>(remaining) : kBlockBytes;
  return count - count % blockAlign;
}

void ReportProgress(const StreamPlan& plan, uint64_t written) {
  if (plan.progress != nullptr) plan.progress(plan.progressContext, written, plan.totalBytes);
}

}  // namespace

StreamResult StreamBlocks(std::FILE* input, std::FILE* output, uint32_t dataSize,
                          uint32_t blockAlign, EffectChain& effect) {
  const StreamPlan plan{dataSize, false, 0, 0, nullptr, nullptr, nullptr};
  return StreamBlocks(input, output, plan, blockAlign, effect);
}

StreamResult StreamBlocks(std::FILE* input, std::FILE* output, const StreamPlan& plan,
                          uint32_t blockAlign, EffectChain& effect) {
  alignas(16) int16_t block[kBlockBytes / 2];
  const Diagnostics standardError{stderr, nullptr};
  const Diagnostics& messages = plan.messages != nullptr ? *plan.messages : standardError;
  uint64_t written = 0;
  ReportProgress(plan, written);
  for (uint64_t remaining = plan.dataBytes; remaining > 0;) {
    const uint32_t count = NextBlockBytes(remaining, blockAlign);
    if (count == 0) {
      // Less than a frame left is a trailing partial frame; a frame wider than a block is not.
      if (remaining >= blockAlign) return {StreamOutcome::FramesTooWide, written};
      break;
    }
    const std::size_t got = std::fread(block, 1, count, input);
    if (got < count) {
      const bool endOfStream = plan.endOfInputIsNormal && !std::ferror(input);
      if (!endOfStream) Say(messages, "read failed");
      const auto whole = static_cast<uint32_t>(got - got % blockAlign);
      if (whole > 0 && !ProcessAndWrite(block, whole, blockAlign, effect, output, written)) {
        Say(messages, "write failed");
        return {StreamOutcome::WriteFailed, written};
      }
      ReportProgress(plan, written);
      if (!endOfStream) return {StreamOutcome::ReadFailed, written};
      break;
    }
    if (!ProcessAndWrite(block, count, blockAlign, effect, output, written)) {
      Say(messages, "write failed");
      return {StreamOutcome::WriteFailed, written};
    }
    ReportProgress(plan, written);
    remaining -= count;
  }
  for (uint64_t remaining = plan.tailBytes; remaining > 0;) {
    const uint32_t count = NextBlockBytes(remaining, blockAlign);
    if (count == 0) return {StreamOutcome::FramesTooWide, written};
    std::memset(block, 0, count);
    if (!ProcessAndWrite(block, count, blockAlign, effect, output, written)) {
      Say(messages, "write failed");
      return {StreamOutcome::WriteFailed, written};
    }
    ReportProgress(plan, written);
    remaining -= count;
  }
  return {StreamOutcome::Complete, written};
}

}  // namespace wavfx
