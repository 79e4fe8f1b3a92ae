#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/chain_text.h"
#include "entry/apply_effect.h"
#include "entry/job_options.h"

namespace wavfx {

// What a job did: how it ended, what it wrote, what it met, and why it stopped when it did.
struct JobResult {
  StreamOutcome outcome = StreamOutcome::NotStarted;
  uint64_t frames = 0;      // frames written, tail included
  uint64_t clipped = 0;     // samples clamped on the way to an integer output
  uint64_t nonFinite = 0;   // NaN and infinite input samples, read as 0
  std::string reason;       // one line without "Error: " when the job did not complete
  bool unreadable = false;  // the general reader could not open the input
  std::string notes;        // lines on what was measured before the job, for stages that need it
};

// A job of the general path: any format libsndfile reads, to the container and sample format
// chosen by ChooseOutput, at the input's native precision.
struct GeneralJob {
  const char* input = nullptr;
  const char* output = nullptr;
  const ChainRecipe* chain = nullptr;
  std::string format;  // --format; empty: from the output's extension
  std::string bits;    // --bits; empty: the input's samples
  double tailSeconds = 0;
  bool inputWasPiped = false;           // as JobOptions::inputWasPiped
  ProgressCallback progress = nullptr;  // called with frames instead of bytes
  void* progressContext = nullptr;
};

// Runs the job and prints nothing; the result says what happened. An output is created only
// once the input was read and the output's format chosen; a job that did not start leaves none.
JobResult RunGeneralJob(const GeneralJob& job);

}  // namespace wavfx
