#include "single_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "effect_listing.h"
#include "engine/chain.h"
#include "engine/chain_flow.h"
#include "engine/chain_measure.h"
#include "entry/apply_effect.h"
#include "entry/general_job.h"
#include "entry/measure_file.h"
#include "entry/route.h"
#include "entry/spooled_input.h"
#include "exit_status.h"
#include "platform/text_conversion.h"
#include "progress.h"
#include "wav/stream_format.h"

namespace wavfx::cli {
namespace {

bool IsStandardStream(const char* operand) {
  return std::string_view(operand) == "-";
}

bool IsRegular(int descriptor) {
  struct stat info;
  return fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
}

// Large buffers for the standard streams, kept until exit. A pipe's output keeps stdio's small
// buffer so that a live stream is not held back.
char inputBuffer[kFileBufferBytes];
char outputBuffer[kFileBufferBytes];

void ProgressToBar(void* context, uint64_t done, uint64_t total) {
  auto& bar = *static_cast<ProgressBar*>(context);
  if (ProgressDue(bar)) DrawProgress(bar, "", done, total);
}

void ProgressFramesToBar(void* context, uint64_t done, uint64_t total) {
  ProgressToBar(context, done, total);
}

// Returns the exit status, or -1 when the general reader cannot open the input.
int RunGeneralSingleJob(const CommandLine& line, const ChainRecipe* chain, bool pipedInput) {
  // A plain name keeps WAVEffect's rule on this path too: an unknown name copies.
  const ChainRecipe plain = RecipeOfName(line.files[2]);
  GeneralJob job;
  job.input = line.files[0];
  job.output = line.files[1];
  job.chain = chain != nullptr ? chain : &plain;
  job.format = line.format != nullptr ? line.format : "";
  job.bits = line.bits != nullptr ? line.bits : "";
  job.tailSeconds = line.tailSeconds;
  job.inputWasPiped = pipedInput;
  ProgressBar bar = MakeProgressBar(line.quiet);
  if (bar.enabled) {
    job.progress = ProgressFramesToBar;
    job.progressContext = &bar;
  }
  const JobResult result = RunGeneralJob(job);
  ClearProgress(bar);
  if (result.unreadable) return -1;
  PrintJobNotes(result);
  return ExitStatusOf(result.outcome);
}

}  // namespace

void PrintNotes(const std::string& lines) {
  for (std::size_t start = 0; start < lines.size();) {
    const std::size_t end = lines.find('\n', start);
    std::fprintf(stderr, "Note: %s\n", lines.substr(start, end - start).c_str());
    start = end == std::string::npos ? lines.size() : end + 1;
  }
}

void PrintJobNotes(const JobResult& result) {
  PrintNotes(result.notes);
  if (!result.reason.empty()) std::fprintf(stderr, "Error: %s\n", result.reason.c_str());
  if (result.nonFinite > 0) {
    std::fprintf(stderr, "Note: %" PRIu64 " non-finite input samples (NaN or infinite) read as 0\n",
                 result.nonFinite);
  }
  if (result.clipped > 0) {
    std::fprintf(stderr, "Note: %" PRIu64 " samples clipped to the output's range\n",
                 result.clipped);
  }
}

namespace {

// A chain with stages that need their input measured (norm, loudnorm) reads the input once for
// each before the pass that writes; standard input is held in a temporary file for that.
// Returns false, having said why, when the input cannot be read.
bool MeasureFirst(CommandLine& line, ChainRecipe& chain, SpooledInput& spooled) {
  std::string reason;
  if (IsStandardStream(line.files[0])) {
    if (isatty(STDIN_FILENO) == 1) reason = "standard input is a terminal, not a sound stream";
    if (reason.empty() && SpoolInput(STDIN_FILENO, spooled, reason)) {
      line.files[0] = spooled.path.c_str();
    }
  }
  std::string notes;
  if (reason.empty() && MeasureChainInputs(line.files[0], chain, notes, reason)) {
    if (!line.quiet) PrintNotes(notes);
    return true;
  }
  std::fprintf(stderr, "Error: %s\n", reason.c_str());
  return false;
}

int RunJobOf(const CommandLine& given) {
  // A chain has no 199-byte limit: it is parsed here, not narrowed into WAVEffect's buffer.
  std::unique_ptr<ChainRecipe> chain;
  std::string error;
  if (!ResolveEffect(given.files[2], chain, error)) {
    std::fprintf(stderr, "Error: %s\n", error.c_str());
    return kExitNotStarted;
  }
  CommandLine line = given;
  // A piped input held in a temporary file for measuring keeps the rules of a pipe.
  const bool pipedInput = IsStandardStream(given.files[0]) && !IsRegular(STDIN_FILENO);
  SpooledInput spooled;
  struct Closer {
    SpooledInput& input;
    ~Closer() { CloseSpooledInput(input); }
  } closer{spooled};
  if (chain != nullptr && RecipeNeedsMeasurement(*chain) && !MeasureFirst(line, *chain, spooled)) {
    return kExitNotStarted;
  }
  const bool reshapes = chain != nullptr && RecipeReshapes(*chain);
  const Route route = ChooseRoute(line.files[0], line.files[1],
                                  line.format != nullptr || line.bits != nullptr, reshapes);
  if (route.general) {
    const int status = RunGeneralSingleJob(line, chain.get(), pipedInput);
    if (status >= 0) return status;  // else no reader takes it: the strict path says why
  }
  const char* operands[3] = {line.files[0], line.files[1], chain ? "" : line.files[2]};
  std::u16string wide[3];
  for (int i = 0; i < 3; ++i) {
    if (!Utf8ToUtf16(operands[i], wide[i])) {
      std::fprintf(stderr, "Error: argument is not valid UTF-8\n");
      return kExitNotStarted;
    }
  }
  JobOptions options;
  options.tailSeconds = line.tailSeconds;
  options.chain = chain.get();
  // A regular file that declares the size of an endless stream is read to its end.
  options.unknownSizeReadsToEnd = true;
  options.inputWasPiped = pipedInput;
  options.atomicOutput = true;
  if (IsStandardStream(operands[0])) {
    if (isatty(STDIN_FILENO) == 1) {
      std::fprintf(stderr, "Error: standard input is a terminal, not a WAV stream\n");
      return kExitNotStarted;
    }
    std::setvbuf(stdin, inputBuffer, _IOFBF, sizeof inputBuffer);
    options.input = stdin;
  }
  if (IsStandardStream(operands[1])) {
    if (isatty(STDOUT_FILENO) == 1) {
      std::fprintf(stderr, "Error: standard output is a terminal; redirect it or use a file\n");
      return kExitNotStarted;
    }
    if (IsRegular(STDOUT_FILENO)) std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
    options.output = stdout;
  }

  // While a bar may be on the screen the library's diagnostics are held back, then printed
  // once the bar is gone.
  ProgressBar bar = MakeProgressBar(line.quiet);
  char* held = nullptr;
  std::size_t heldSize = 0;
  if (bar.enabled) {
    options.messages = open_memstream(&held, &heldSize);
    options.progress = ProgressToBar;
    options.progressContext = &bar;
  }
  const StreamOutcome outcome =
      ApplyEffect(wide[0].c_str(), wide[1].c_str(), wide[2].c_str(), options);
  ClearProgress(bar);
  if (options.messages != nullptr) {
    std::fclose(options.messages);
    std::fputs(held, stderr);
    std::free(held);
  }
  if (const char* note = OutcomeNote(outcome)) std::fprintf(stderr, "Error: %s\n", note);
  return ExitStatusOf(outcome);
}

}  // namespace

int RunSingleJob(const CommandLine& line) {
  const int status = RunJobOf(line);
  if (status == 0) NoteUnknownName(line.files[2], line.quiet);
  return status;
}

}  // namespace wavfx::cli
