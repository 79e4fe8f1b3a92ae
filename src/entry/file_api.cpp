#include <cstdio>
#include <new>

#include "engine/chain.h"
#include "engine/chain_text.h"
#include "entry/file_job.h"
#include "wavfx/wavfx.h"

namespace wavfx {
namespace {

int32_t CodeOf(StreamOutcome outcome) {
  switch (outcome) {
    case StreamOutcome::Complete:
      return WAVFX_JOB_COMPLETE;
    case StreamOutcome::NotStarted:
      return WAVFX_JOB_NOT_STARTED;
    case StreamOutcome::ReadFailed:
      return WAVFX_JOB_READ_FAILED;
    case StreamOutcome::WriteFailed:
      return WAVFX_JOB_WRITE_FAILED;
    case StreamOutcome::FramesTooWide:
      return WAVFX_JOB_FRAMES_TOO_WIDE;
  }
  return WAVFX_JOB_NOT_STARTED;
}

JobResult Run(const char* input, const char* output, const char* chain,
              const wavfx_file_options* options) {
  JobResult result;
  if (input == nullptr || output == nullptr || chain == nullptr) {
    result.reason = "missing argument";
    return result;
  }
  FileJob job;
  job.input = input;
  job.output = output;
  if (options != nullptr) {
    if (!(options->tail_seconds >= 0 && options->tail_seconds <= 3600)) {
      result.reason = "the tail must be 0 to 3600 seconds";
      return result;
    }
    job.tailSeconds = options->tail_seconds;
    job.format = options->format != nullptr ? options->format : "";
    job.bits = options->bits != nullptr ? options->bits : "";
  }
  ChainRecipe* recipe = new (std::nothrow) ChainRecipe;
  if (recipe == nullptr) {
    result.reason = "out of memory";
    return result;
  }
  ChainError error;
  if (IsPlainName(chain)) {
    *recipe = RecipeOfName(chain);
    job.chain = recipe;
    result = RunFileJob(job);
  } else if (ParseChain(chain, *recipe, error)) {
    job.chain = recipe;
    result = RunFileJob(job);
  } else {
    result.reason = error.message;
  }
  delete recipe;
  return result;
}

}  // namespace
}  // namespace wavfx

extern "C" WAVFX_API int32_t wavfx_process_file(const char* input, const char* output,
                                                const char* chain,
                                                const wavfx_file_options* options,
                                                wavfx_file_result* result) noexcept {
  const wavfx::JobResult job = wavfx::Run(input, output, chain, options);
  const int32_t outcome = wavfx::CodeOf(job.outcome);
  if (result != nullptr) {
    result->outcome = outcome;
    result->frames = job.frames;
    result->clipped = job.clipped;
    result->non_finite = job.nonFinite;
    std::snprintf(result->message, sizeof result->message, "%s", job.reason.c_str());
  }
  return outcome;
}
