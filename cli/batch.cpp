#include "batch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "effect_listing.h"
#include "engine/chain.h"
#include "engine/chain_flow.h"
#include "entry/apply_effect.h"
#include "entry/arguments.h"
#include "entry/general_job.h"
#include "entry/pending_output.h"
#include "entry/route.h"
#include "exit_status.h"
#include "info.h"
#include "platform/text_conversion.h"
#include "progress.h"
#include "single_job.h"
#include "wav/wav_reader.h"

namespace wavfx::cli {
namespace {

enum class FileStatus { Done, Incomplete, NotStarted };

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

struct BatchItem {
  const char* input;
  std::string output;
  bool exists;  // the input could be examined: `identity` and `bytes` are set
  FileIdentity identity;
  uint64_t bytes;       // the input's size, its weight in the progress
  std::string refusal;  // why the file is not processed, found before any job runs
};

// The progress of the job a worker is running, read by the thread that draws the bar.
struct JobProgress {
  std::atomic<uint64_t> weight{0};
  std::atomic<uint64_t> done{0};
  std::atomic<uint64_t> total{0};
};

struct Batch {
  std::vector<BatchItem> items;
  std::u16string effect;
  std::unique_ptr<ChainRecipe> chain;  // set when the effect is a chain rather than a plain name
  double tailSeconds = 0;
  const CommandLine* line = nullptr;
  bool quiet = false;
  std::atomic<std::size_t> next{0};
  std::atomic<uint64_t> finishedBytes{0};
  std::mutex lock;  // guards the counts, the bar and standard error
  std::condition_variable changed;
  std::size_t finished = 0;
  std::size_t counts[3] = {0, 0, 0};  // by FileStatus
  ProgressBar bar;
};

// The output's name: the input's, under the output directory, with the extension of --format.
std::string OutputPath(const std::string& directory, const char* input, const char* format) {
  std::string_view name = input;
  const std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  if (name.empty() || name == "." || name == "..") return "";
  std::string file(name);
  if (format != nullptr) file = file.substr(0, file.rfind('.')) + "." + format;
  return directory + (directory.back() == '/' ? "" : "/") + file;
}

// Builds the items and refuses, before anything runs, the files without a name and those
// whose output name an earlier file already takes.
std::vector<BatchItem> PlanItems(const CommandLine& line) {
  std::vector<BatchItem> items;
  std::map<std::string, const char*> taken;
  for (const char* input : line.files) {
    BatchItem item{input, OutputPath(line.outputDir, input, line.format), false, {}, 0, ""};
    struct stat info;
    if (stat(input, &info) == 0) {
      item.exists = true;
      item.identity = {info.st_dev, info.st_ino};
      item.bytes = static_cast<uint64_t>(info.st_size);
    }
    if (item.output.empty()) {
      item.refusal = "no file name to write under the output directory";
    } else if (const auto earlier = taken.find(item.output); earlier != taken.end()) {
      item.refusal = "its output " + item.output + " is already written from " + earlier->second;
    } else {
      taken.emplace(item.output, input);
    }
    items.push_back(std::move(item));
  }
  return items;
}

// An output that already exists and is one of the inputs, through any link.
bool OverwritesAnInput(const Batch& batch, const BatchItem& item, std::string& reason) {
  struct stat info;
  if (stat(item.output.c_str(), &info) != 0) return false;
  for (const BatchItem& other : batch.items) {
    if (other.exists && other.identity.device == info.st_dev &&
        other.identity.inode == info.st_ino) {
      reason = "its output " + item.output + " is the input " + other.input;
      return true;
    }
  }
  return false;
}

// Creates the output under a temporary name, refusing it when the name it replaces is one of
// the inputs.
std::FILE* CreateOutput(const Batch& batch, const BatchItem& item, PendingOutput& pending,
                        std::string& reason) {
  if (OverwritesAnInput(batch, item, reason)) return nullptr;
  std::FILE* file = CreatePendingStream(item.output.c_str(), pending);
  if (file == nullptr) reason = "cannot create " + item.output + ": " + std::strerror(errno);
  return file;
}

// Opens the input and reads its header once: the file is left at its first sample byte, or,
// refused, closed with `reason` naming the exact cause and `header` the strict reader's verdict.
std::FILE* OpenInput(const BatchItem& item, char* buffer, WavHeader& header, std::string& reason) {
  header = WavHeader{};
  header.problem = WavProblem::CannotOpen;
  std::FILE* file = std::fopen(item.input, "rb");
  if (file == nullptr) {
    reason = std::string("cannot open input: ") + std::strerror(errno);
    return nullptr;
  }
  if (buffer != nullptr) std::setvbuf(file, buffer, _IOFBF, kFileBufferBytes);
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(file);
    reason = "cannot open input: not a regular file";
    return nullptr;
  }
  header = ParseWavHeader(file, false);
  if (header.problem != WavProblem::None) {
    std::fclose(file);
    reason = RefusalReason(header, item.input, static_cast<int64_t>(info.st_size));
    return nullptr;
  }
  return file;
}

void ProgressToSlot(void* context, uint64_t done, uint64_t total) {
  auto& slot = *static_cast<JobProgress*>(context);
  slot.done.store(done, std::memory_order_relaxed);
  slot.total.store(total, std::memory_order_relaxed);
}

FileStatus FileStatusOf(StreamOutcome outcome) {
  switch (outcome) {
    case StreamOutcome::Complete:
      return FileStatus::Done;
    case StreamOutcome::NotStarted:
      return FileStatus::NotStarted;
    default:
      return FileStatus::Incomplete;
  }
}

// Returns NotStarted with `reason` empty when the general reader cannot open the input.
FileStatus RunGeneralItem(const Batch& batch, const BatchItem& item, JobProgress& slot,
                          std::string& reason) {
  if (OverwritesAnInput(batch, item, reason)) return FileStatus::NotStarted;
  const ChainRecipe plain = RecipeOfName(batch.line->effect);
  GeneralJob job;
  job.input = item.input;
  job.output = item.output.c_str();
  job.chain = batch.chain != nullptr ? batch.chain.get() : &plain;
  job.format = batch.line->format != nullptr ? batch.line->format : "";
  job.bits = batch.line->bits != nullptr ? batch.line->bits : "";
  job.tailSeconds = batch.tailSeconds;
  job.progress = ProgressToSlot;
  job.progressContext = &slot;
  const JobResult result = RunGeneralJob(job);
  reason = result.unreadable ? "" : result.reason;
  if (result.nonFinite > 0) {
    reason += (reason.empty() ? "" : "; ") + std::to_string(result.nonFinite) +
              " non-finite samples read as 0";
  }
  if (result.clipped > 0) {
    reason += (reason.empty() ? "" : "; ") + std::to_string(result.clipped) + " samples clipped";
  }
  return FileStatusOf(result.outcome);
}

FileStatus RunItem(const Batch& batch, const BatchItem& item, JobProgress& slot,
                   std::string& reason) {
  const std::unique_ptr<char[]> buffers(new (std::nothrow) char[2 * kFileBufferBytes]);
  WavHeader header;
  std::string refusal;
  std::FILE* input = OpenInput(item, buffers ? buffers.get() : nullptr, header, refusal);
  const bool otherOutput = batch.line->format != nullptr || batch.line->bits != nullptr;
  const bool reshapes = batch.chain != nullptr && RecipeReshapes(*batch.chain);
  if (ChooseRoute(item.input, item.output.c_str(), otherOutput, header, reshapes).general) {
    if (input != nullptr) std::fclose(input);
    const FileStatus status = RunGeneralItem(batch, item, slot, reason);
    if (reason.empty() && status == FileStatus::NotStarted) reason = refusal;
    return status;
  }
  if (input == nullptr) {
    reason = refusal;
    return FileStatus::NotStarted;
  }
  PendingOutput pending;
  std::FILE* output = CreateOutput(batch, item, pending, reason);
  if (output == nullptr) {
    std::fclose(input);
    return FileStatus::NotStarted;
  }
  if (buffers) std::setvbuf(output, buffers.get() + kFileBufferBytes, _IOFBF, kFileBufferBytes);

  JobOptions options;
  options.tailSeconds = batch.tailSeconds;
  options.chain = batch.chain.get();
  options.unknownSizeReadsToEnd = true;
  options.progress = ProgressToSlot;
  options.progressContext = &slot;
  options.input = input;
  options.header = &header;
  options.output = output;
  options.silent = true;
  options.reasons = &reason;
  StreamOutcome outcome = ApplyEffect(nullptr, nullptr, batch.effect.c_str(), options);
  std::fclose(input);
  const bool closed = std::fclose(output) == 0;
  if (!closed && outcome == StreamOutcome::Complete) {
    outcome = StreamOutcome::WriteFailed;
    reason = "write failed";
  }
  if (const char* note = OutcomeNote(outcome)) reason = note;
  if (!SettlePendingOutput(pending, outcome)) {
    outcome = StreamOutcome::WriteFailed;
    reason = "cannot replace " + item.output + ": " + std::strerror(errno);
  }
  return FileStatusOf(outcome);
}

void DrawBatchProgress(Batch& batch, const std::vector<JobProgress>& slots) {
  uint64_t all = 0;
  for (const BatchItem& item : batch.items)
    all += item.bytes;
  double done = static_cast<double>(batch.finishedBytes.load(std::memory_order_relaxed));
  for (const JobProgress& slot : slots) {
    const auto weight = static_cast<double>(slot.weight.load(std::memory_order_relaxed));
    const auto part = static_cast<double>(slot.done.load(std::memory_order_relaxed));
    const auto whole = static_cast<double>(slot.total.load(std::memory_order_relaxed));
    done += whole > 0 ? weight * part / whole : (part < weight ? part : weight);
  }
  const std::string prefix =
      std::to_string(batch.finished) + "/" + std::to_string(batch.items.size()) + " files";
  DrawProgress(batch.bar, prefix, static_cast<uint64_t>(done), all);
}

void Report(Batch& batch, const BatchItem& item, FileStatus status, const std::string& reason) {
  const std::lock_guard<std::mutex> guard(batch.lock);
  ClearProgress(batch.bar);
  switch (status) {
    case FileStatus::Done:
      if (!batch.quiet) {
        std::fprintf(stderr, "done         %s -> %s\n", item.input, item.output.c_str());
      }
      break;
    case FileStatus::Incomplete:
      std::fprintf(stderr, "incomplete   %s -> %s: %s\n", item.input, item.output.c_str(),
                   reason.c_str());
      break;
    case FileStatus::NotStarted:
      std::fprintf(stderr, "not started  %s: %s\n", item.input, reason.c_str());
      break;
  }
  ++batch.counts[static_cast<int>(status)];
  ++batch.finished;
  batch.changed.notify_all();
}

void Work(Batch& batch, JobProgress& slot) {
  for (;;) {
    const std::size_t index = batch.next.fetch_add(1);
    if (index >= batch.items.size()) return;
    const BatchItem& item = batch.items[index];
    slot.done.store(0, std::memory_order_relaxed);
    slot.total.store(0, std::memory_order_relaxed);
    slot.weight.store(item.bytes, std::memory_order_relaxed);
    std::string reason = item.refusal;
    const FileStatus status =
        reason.empty() ? RunItem(batch, item, slot, reason) : FileStatus::NotStarted;
    slot.weight.store(0, std::memory_order_relaxed);
    batch.finishedBytes.fetch_add(item.bytes, std::memory_order_relaxed);
    Report(batch, item, status, reason);
  }
}

}  // namespace

int RunBatch(const CommandLine& line) {
  Batch batch;
  char narrow[kArgumentBufferSize];
  std::string error;
  if (!ResolveEffect(line.effect, batch.chain, error)) {
    std::fprintf(stderr, "Error: %s\n", error.c_str());
    return kExitNotStarted;
  }
  if (!Utf8ToUtf16(batch.chain ? "" : line.effect, batch.effect)) {
    std::fprintf(stderr, "Error: argument is not valid UTF-8\n");
    return kExitNotStarted;
  }
  if (NarrowArgument(batch.effect.c_str(), narrow) != ArgumentProblem::None) {
    std::fprintf(stderr, "Error: argument too long\n");
    return kExitNotStarted;
  }
  NoteUnknownName(line.effect, line.quiet);
  struct stat directory;
  if (stat(line.outputDir, &directory) != 0 || !S_ISDIR(directory.st_mode)) {
    std::fprintf(stderr, "Error: output directory '%s' is not a directory\n", line.outputDir);
    return kExitNotStarted;
  }
  batch.items = PlanItems(line);
  batch.tailSeconds = line.tailSeconds;
  batch.line = &line;
  batch.quiet = line.quiet;
  batch.bar = MakeProgressBar(line.quiet);

  unsigned workers = line.jobs != 0 ? line.jobs : std::thread::hardware_concurrency();
  if (workers == 0) workers = 1;
  if (workers > batch.items.size()) workers = static_cast<unsigned>(batch.items.size());
  std::vector<JobProgress> slots(workers);
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < workers; ++i) {
    threads.emplace_back(Work, std::ref(batch), std::ref(slots[i]));
  }
  {
    std::unique_lock<std::mutex> guard(batch.lock);
    while (batch.finished < batch.items.size()) {
      batch.changed.wait_for(guard, std::chrono::milliseconds(100));
      if (batch.finished < batch.items.size() && ProgressDue(batch.bar)) {
        DrawBatchProgress(batch, slots);
      }
    }
    ClearProgress(batch.bar);
  }
  for (std::thread& thread : threads)
    thread.join();

  const std::size_t done = batch.counts[static_cast<int>(FileStatus::Done)];
  const std::size_t incomplete = batch.counts[static_cast<int>(FileStatus::Incomplete)];
  const std::size_t notStarted = batch.counts[static_cast<int>(FileStatus::NotStarted)];
  if (!line.quiet) {
    std::fprintf(stderr, "%zu %s: %zu done, %zu incomplete, %zu not started\n", batch.items.size(),
                 batch.items.size() == 1 ? "file" : "files", done, incomplete, notStarted);
  }
  if (incomplete > 0) return kExitIncomplete;
  return notStarted > 0 ? kExitNotStarted : kExitDone;
}

}  // namespace wavfx::cli
