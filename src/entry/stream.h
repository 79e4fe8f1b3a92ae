#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/chain.h"
#include "entry/apply_effect.h"
#include "entry/diagnostics.h"
#include "entry/job_options.h"

namespace wavfx {

// The block of the stdio streams, and the widest frame streamed.
constexpr uint32_t kBlockBytes = 2048;

// The block of a job that reads or writes its files' descriptors itself: processed in place
// between the read and the write, as large as cat's.
constexpr uint32_t kDirectBlockBytes = 1 << 17;

struct StreamResult {
  StreamOutcome outcome;
  uint64_t bytesWritten;  // bytes of the blocks written in full
};

// What StreamBlocks reads and writes, beyond the data itself.
struct StreamPlan {
  uint64_t dataBytes;       // data bytes to read from the input
  bool endOfInputIsNormal;  // a pipe: ending before dataBytes ends the data, no read failure
  uint64_t tailBytes;       // silence fed through the effect after the data, in whole frames
  uint64_t totalBytes;      // the total given to `progress`, 0 when unknown
  ProgressCallback progress;
  void* progressContext;
  const Diagnostics* messages;  // where diagnostics go; standard error when null
  // The job opened the stream itself and uses nothing of it afterwards but its close (and, for
  // the output, the header patch): a regular input is then read with pread() from its current
  // position, and the output is flushed once and then written with write().
  bool ownsInput;
  bool ownsOutput;
};

// Streams `dataSize` bytes of whole frames from `input` through the chain `effect` to `output`, one
// block of at most 2048 bytes at a time. When the input ends early the whole frames that did arrive
// are still processed and written.
StreamResult StreamBlocks(std::FILE* input, std::FILE* output, uint32_t dataSize,
                          uint32_t blockAlign, EffectChain& effect);

// The same walk after `plan`; the tail follows only data streamed to its end. A stream the job
// owns is taken in blocks of kDirectBlockBytes, the others in blocks of kBlockBytes.
StreamResult StreamBlocks(std::FILE* input, std::FILE* output, const StreamPlan& plan,
                          uint32_t blockAlign, EffectChain& effect);

}  // namespace wavfx
