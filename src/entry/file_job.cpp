#include "entry/file_job.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "engine/chain.h"
#include "entry/apply_effect.h"
#include "entry/route.h"
#include "platform/text_conversion.h"

namespace wavfx {
namespace {

// The diagnostic lines of a job, "Error: " dropped, on one line.
std::string OneLine(std::string_view text) {
  std::string line;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(0, end);
    if (part.starts_with("Error: ")) part.remove_prefix(7);
    if (!part.empty()) line += (line.empty() ? "" : "; ") + std::string(part);
    text.remove_prefix(end < text.size() ? end + 1 : end);
  }
  return line;
}

JobResult RunStrictJob(const FileJob& job) {
  JobResult result;
  std::u16string input, output;
  if (!Utf8ToUtf16(job.input, input) || !Utf8ToUtf16(job.output, output)) {
    result.reason = "a path is not valid UTF-8";
    return result;
  }
  char* held = nullptr;
  std::size_t heldSize = 0;
  JobOptions options;
  options.tailSeconds = job.tailSeconds;
  options.chain = job.chain;
  options.unknownSizeReadsToEnd = true;
  options.framesWritten = &result.frames;
  options.messages = open_memstream(&held, &heldSize);
  if (options.messages == nullptr) {
    result.reason = "out of memory";
    return result;
  }
  const ChainSpec none = SpecOfName("none");
  if (options.chain == nullptr) options.chain = &none;
  result.outcome = ApplyEffect(input.c_str(), output.c_str(), u"", options);
  std::fclose(options.messages);
  result.reason = OneLine(held != nullptr ? held : "");
  std::free(held);
  return result;
}

}  // namespace

JobResult RunFileJob(const FileJob& job) {
  const bool otherOutput = !job.format.empty() || !job.bits.empty();
  if (!ChooseRoute(job.input, job.output, otherOutput).general) return RunStrictJob(job);
  GeneralJob general;
  general.input = job.input;
  general.output = job.output;
  general.chain = job.chain;
  general.format = job.format;
  general.bits = job.bits;
  general.tailSeconds = job.tailSeconds;
  return RunGeneralJob(general);
}

}  // namespace wavfx
