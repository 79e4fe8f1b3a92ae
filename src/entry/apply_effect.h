#pragma once

#include <cstdint>

#include "entry/job_options.h"

namespace wavfx {

// How one job ended, in more detail than WAVEffect's two statuses.
enum class StreamOutcome {
  NotStarted,     // a bad argument, or the input or output could not be opened
  Complete,       // all whole frames were streamed
  ReadFailed,     // a read error, or a file that ended before its declared data size
  WriteFailed,    // the output refused data, at a write or when flushed
  FramesTooWide,  // frames wider than a block (over 1024 channels): nothing could be streamed
};

// The whole job of WAVEffect: converts the arguments, opens both files, streams the data
// through the named effect and closes everything, printing diagnostics to standard error.
StreamOutcome ApplyEffect(const char16_t* input, const char16_t* output, const char16_t* effect);

// The same job with `options`: a tail of silence, progress reports, open streams instead of the
// paths, another destination for the diagnostics. A path whose stream is given is not used and
// may be null. Default options give exactly the job above.
StreamOutcome ApplyEffect(const char16_t* input, const char16_t* output, const char16_t* effect,
                          const JobOptions& options);

// WAVEffect's status for an outcome: 1 when the job never started, 999 otherwise.
int32_t StatusOf(StreamOutcome outcome);

}  // namespace wavfx
