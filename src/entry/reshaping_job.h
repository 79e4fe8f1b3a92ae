#pragma once

#include <cstdint>

#include "engine/chain.h"
#include "entry/general_job.h"
#include "formats/sample_blocks.h"

namespace wavfx {

// The files of a general job whose chain reshapes the stream, as RunGeneralJob opened them.
struct ReshapingFiles {
  SNDFILE* in;
  SNDFILE* out;
  SampleStorage from;
  SampleStorage to;
  uint32_t inChannels;
  uint32_t outChannels;
  uint64_t tailFrames;  // silence fed in after the input, at the input's rate
};

// Where a job reports the input frames it has read, of `total` (input and tail).
struct ReshapingProgress {
  ProgressCallback callback;  // may be null
  void* context;
  uint64_t total;
};

// Streams the input through the chain to the output in blocks, then flushes the chain. Samples
// travel as floats, or, when the chain only copies and the sample format stays, as read.
// Counts frames written, clipped and non-finite samples into `result`. Returns the frames read;
// stops at the first write failure, and reads no further once the chain wants no more input.
uint64_t StreamReshapingChain(const ReshapingFiles& files, EffectChain& chain, JobResult& result,
                              const ReshapingProgress& progress);

}  // namespace wavfx
