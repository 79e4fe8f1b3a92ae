#include "entry/file_job.h"

#include <cstdio>

#include "engine/chain.h"
#include "engine/chain_flow.h"
#include "engine/chain_measure.h"
#include "entry/apply_effect.h"
#include "entry/measure_file.h"
#include "entry/route.h"
#include "platform/text_conversion.h"

namespace wavfx {
namespace {

JobResult RunStrictJob(const FileJob& job) {
  JobResult result;
  std::u16string input, output;
  if (!Utf8ToUtf16(job.input, input) || !Utf8ToUtf16(job.output, output)) {
    result.reason = "a path is not valid UTF-8";
    return result;
  }
  JobOptions options;
  options.tailSeconds = job.tailSeconds;
  options.chain = job.chain;
  options.unknownSizeReadsToEnd = true;
  options.framesWritten = &result.frames;
  options.silent = true;
  options.reasons = &result.reason;
  options.atomicOutput = true;
  const ChainRecipe none = RecipeOfName("none");
  if (options.chain == nullptr) options.chain = &none;
  result.outcome = ApplyEffect(input.c_str(), output.c_str(), u"", options);
  return result;
}

JobResult RunRoutedJob(const FileJob& job) {
  const bool otherOutput = !job.format.empty() || !job.bits.empty();
  const bool reshapes = job.chain != nullptr && RecipeReshapes(*job.chain);
  if (!ChooseRoute(job.input, job.output, otherOutput, reshapes).general) return RunStrictJob(job);
  GeneralJob general;
  general.input = job.input;
  general.output = job.output;
  general.chain = job.chain;
  general.format = job.format;
  general.bits = job.bits;
  general.tailSeconds = job.tailSeconds;
  const JobResult result = RunGeneralJob(general);
  return result.unreadable ? RunStrictJob(job) : result;
}

}  // namespace

// Stages that need their input measured (norm, loudnorm) get it in passes of their own first.
JobResult RunFileJob(const FileJob& given) {
  FileJob job = given;
  ChainRecipe measured;
  std::string notes;
  if (job.chain != nullptr && RecipeNeedsMeasurement(*job.chain)) {
    measured = *job.chain;
    JobResult refused;
    if (!MeasureChainInputs(job.input, measured, notes, refused.reason)) return refused;
    job.chain = &measured;
  }
  JobResult result = RunRoutedJob(job);
  result.notes = notes + result.notes;
  return result;
}

}  // namespace wavfx
