#include "entry/stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "engine/chain_flow.h"

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

// Where the blocks come from and go to: the stdio streams, or the descriptors of the streams the
// job owns, which then take no copy through a stdio buffer.
class StreamEnds {
 public:
  StreamEnds(std::FILE* input, std::FILE* output, const StreamPlan& plan)
      : input_(input), output_(output) {
    struct stat info;
    if (plan.ownsInput && fstat(fileno(input), &info) == 0 && S_ISREG(info.st_mode)) {
      inputOffset_ = ftello(input);
      if (inputOffset_ >= 0) inputDescriptor_ = fileno(input);
    }
    if (plan.ownsOutput) outputDescriptor_ = fileno(output);
  }

  bool Direct() const { return inputDescriptor_ >= 0 || outputDescriptor_ >= 0; }

  // Has the kernel copy whole frames, up to `count` bytes of them, from the input file to the
  // output file, and returns the bytes copied: 0 when it cannot (a pipe or a device, less than
  // a frame left, an error), in which case reading and writing take over where it stopped and
  // meet any failure themselves.
  uint64_t CopyFrames(uint64_t count, uint32_t blockAlign) {
    if (inputDescriptor_ < 0 || outputDescriptor_ < 0 || !copying_) return 0;
    struct stat info;
    if (fstat(inputDescriptor_, &info) != 0 || info.st_size <= inputOffset_) return 0;
    const auto available = static_cast<uint64_t>(info.st_size - inputOffset_);
    uint64_t want = count < available ? count : available;
    want = want < kCopyBytes ? want : kCopyBytes;
    want -= want % blockAlign;
    if (want == 0 || !Flush()) return 0;
    const ssize_t n =
        copy_file_range(inputDescriptor_, &inputOffset_, outputDescriptor_, nullptr, want, 0);
    if (n <= 0) {
      copying_ = false;
      return 0;
    }
    // An input cut short meanwhile can leave part of a frame: it is taken back, and read again.
    const auto copied = static_cast<uint64_t>(n);
    const auto partial = static_cast<off_t>(copied % blockAlign);
    if (partial != 0) {
      copying_ = false;
      const off_t end = lseek(outputDescriptor_, -partial, SEEK_CUR);
      if (end < 0 || ftruncate(outputDescriptor_, end) != 0) return 0;
      inputOffset_ -= partial;
    }
    return copied - static_cast<uint64_t>(partial);
  }

  // Reads up to `count` bytes; fewer only at the end of the input or on an error, which sets
  // `failed`.
  std::size_t Read(void* block, std::size_t count, bool& failed) {
    if (inputDescriptor_ < 0) {
      const std::size_t got = std::fread(block, 1, count, input_);
      failed = std::ferror(input_) != 0;
      return got;
    }
    auto* bytes = static_cast<char*>(block);
    std::size_t got = 0;
    failed = false;
    while (got < count) {
      const ssize_t n = pread(inputDescriptor_, bytes + got, count - got, inputOffset_);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        failed = true;
        break;
      }
      got += static_cast<std::size_t>(n);
      inputOffset_ += n;
    }
    return got;
  }

  // Whether all `count` bytes were written. An unbuffered stream's fwrite can report the full
  // count and set only the error flag.
  bool Write(const void* block, std::size_t count) {
    if (outputDescriptor_ < 0) {
      return std::fwrite(block, 1, count, output_) == count && !std::ferror(output_);
    }
    if (!Flush()) return false;
    const auto* bytes = static_cast<const char*>(block);
    for (std::size_t done = 0; done < count;) {
      const ssize_t n = write(outputDescriptor_, bytes + done, count - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  static constexpr uint64_t kCopyBytes = 1 << 26;  // a copy between two progress reports

  // The header waits in the stdio buffer until the first data follows it.
  bool Flush() {
    if (!outputFlushed_) {
      outputFlushed_ = true;
      outputFlushFailed_ = std::fflush(output_) != 0;
    }
    return !outputFlushFailed_;
  }

  std::FILE* input_;
  std::FILE* output_;
  int inputDescriptor_ = -1;
  off_t inputOffset_ = 0;
  int outputDescriptor_ = -1;
  bool outputFlushed_ = false;
  bool outputFlushFailed_ = false;
  bool copying_ = true;
};

// Where a chain that reshapes the stream puts its output before it is written.
struct Reshaped {
  std::unique_ptr<int16_t[]> samples;
  std::size_t frames;  // room, in frames of the chain's output
};

Reshaped RoomForReshaped(const EffectChain& effect) {
  if (!effect.reshapes) return {};
  const std::size_t channels = std::max<uint32_t>(effect.output.channels, 1);
  const std::size_t frames = std::max<std::size_t>(kBlockBytes / channels, 1);
  return {std::unique_ptr<int16_t[]>(new (std::nothrow) int16_t[frames * channels]), frames};
}

bool WriteReshaped(Reshaped& out, std::size_t frames, const EffectChain& effect, StreamEnds& ends,
                   uint64_t& written) {
  const std::size_t count = frames * effect.output.channels;
  SwapToHostOrder(out.samples.get(), count);
  if (!ends.Write(out.samples.get(), count * 2)) return false;
  written += count * 2;
  return true;
}

// Runs whole frames through a chain that reshapes the stream and writes what comes out.
bool FlowAndWrite(const int16_t* block, std::size_t frames, EffectChain& effect, Reshaped& out,
                  StreamEnds& ends, uint64_t& written) {
  while (frames > 0) {
    std::size_t consumed = 0;
    std::size_t produced = 0;
    FlowChainSamples(effect, block, frames, out.samples.get(), out.frames, consumed, produced);
    if (!WriteReshaped(out, produced, effect, ends, written)) return false;
    block += consumed * effect.channels;
    frames -= consumed;
  }
  return true;
}

// The end of a reshaping chain's stream: what its stages still hold.
bool DrainAndWrite(EffectChain& effect, Reshaped& out, StreamEnds& ends, uint64_t& written) {
  while (const std::size_t frames = DrainChainSamples(effect, out.samples.get(), out.frames)) {
    if (!WriteReshaped(out, frames, effect, ends, written)) return false;
  }
  return true;
}

// Processes and writes `bytes` bytes of whole frames held in `block` and counts them in `written`.
// Returns false, counting nothing, when the output failed.
bool ProcessAndWrite(int16_t* block, uint32_t bytes, uint32_t blockAlign, EffectChain& effect,
                     StreamEnds& ends, uint64_t& written, Reshaped& reshaped) {
  SwapToHostOrder(block, bytes / 2);
  if (effect.reshapes)
    return FlowAndWrite(block, bytes / blockAlign, effect, reshaped, ends, written);
  ProcessChainSamples(effect, block, bytes / blockAlign);
  SwapToHostOrder(block, bytes / 2);
  if (!ends.Write(block, bytes)) return false;
  written += bytes;
  return true;
}

// The bytes of the next block: whole frames, at most `remaining` and one block.
uint32_t NextBlockBytes(uint64_t remaining, uint32_t blockAlign, uint32_t blockBytes) {
  const uint32_t count = remaining < blockBytes ? static_cast<uint32_t>(remaining) : blockBytes;
  return count - count % blockAlign;
}

void ReportProgress(const StreamPlan& plan, uint64_t written) {
  if (plan.progress != nullptr) plan.progress(plan.progressContext, written, plan.totalBytes);
}

}  // namespace

StreamResult StreamBlocks(std::FILE* input, std::FILE* output, uint32_t dataSize,
                          uint32_t blockAlign, EffectChain& effect) {
  const StreamPlan plan{dataSize, false, 0, 0, nullptr, nullptr, nullptr, false, false};
  return StreamBlocks(input, output, plan, blockAlign, effect);
}

StreamResult StreamBlocks(std::FILE* input, std::FILE* output, const StreamPlan& plan,
                          uint32_t blockAlign, EffectChain& effect) {
  StreamEnds ends(input, output, plan);
  alignas(16) int16_t small[kBlockBytes / 2];
  // Frames wider than kBlockBytes are refused whatever the block.
  std::unique_ptr<int16_t[]> large;
  if (ends.Direct() && blockAlign <= kBlockBytes)
    large.reset(new (std::nothrow) int16_t[kDirectBlockBytes / 2]);
  int16_t* block = large ? large.get() : small;
  const uint32_t blockBytes = large ? kDirectBlockBytes : kBlockBytes;
  const Diagnostics standardError{stderr, nullptr};
  const Diagnostics& messages = plan.messages != nullptr ? *plan.messages : standardError;
  uint64_t written = 0;
  Reshaped reshaped = RoomForReshaped(effect);
  if (effect.reshapes && reshaped.samples == nullptr) {
    Say(messages, "write failed");
    return {StreamOutcome::WriteFailed, written};
  }
  ReportProgress(plan, written);
  uint64_t remaining = plan.dataBytes;
  if (!ChainChangesAudio(effect) && blockAlign <= kBlockBytes) {
    while (const uint64_t copied = ends.CopyFrames(remaining, blockAlign)) {
      written += copied;
      remaining -= copied;
      ReportProgress(plan, written);
    }
  }
  // A chain that wants no more input (a trim past its end) leaves the rest unread.
  while (remaining > 0 && ChainWantsInput(effect)) {
    const uint32_t count = NextBlockBytes(remaining, blockAlign, blockBytes);
    if (count == 0) {
      // Less than a frame left is a trailing partial frame; a frame wider than a block is not.
      if (remaining >= blockAlign) return {StreamOutcome::FramesTooWide, written};
      break;
    }
    bool failed = false;
    const std::size_t got = ends.Read(block, count, failed);
    if (got < count) {
      const bool endOfStream = plan.endOfInputIsNormal && !failed;
      if (!endOfStream) Say(messages, "read failed");
      const auto whole = static_cast<uint32_t>(got - got % blockAlign);
      if (whole > 0 &&
          !ProcessAndWrite(block, whole, blockAlign, effect, ends, written, reshaped)) {
        Say(messages, "write failed");
        return {StreamOutcome::WriteFailed, written};
      }
      ReportProgress(plan, written);
      if (!endOfStream) return {StreamOutcome::ReadFailed, written};
      break;
    }
    if (!ProcessAndWrite(block, count, blockAlign, effect, ends, written, reshaped)) {
      Say(messages, "write failed");
      return {StreamOutcome::WriteFailed, written};
    }
    ReportProgress(plan, written);
    remaining -= count;
  }
  for (uint64_t tail = plan.tailBytes; tail > 0 && ChainWantsInput(effect);) {
    const uint32_t count = NextBlockBytes(tail, blockAlign, blockBytes);
    if (count == 0) return {StreamOutcome::FramesTooWide, written};
    std::memset(block, 0, count);
    if (!ProcessAndWrite(block, count, blockAlign, effect, ends, written, reshaped)) {
      Say(messages, "write failed");
      return {StreamOutcome::WriteFailed, written};
    }
    ReportProgress(plan, written);
    tail -= count;
  }
  if (effect.reshapes && !DrainAndWrite(effect, reshaped, ends, written)) {
    Say(messages, "write failed");
    return {StreamOutcome::WriteFailed, written};
  }
  return {StreamOutcome::Complete, written};
}

}  // namespace wavfx
