#include "entry/apply_effect.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "engine/chain.h"
#include "engine/chain_flow.h"
#include "entry/arguments.h"
#include "entry/diagnostics.h"
#include "entry/pending_output.h"
#include "entry/stream.h"
#include "wav/wav_reader.h"
#include "wav/wav_writer.h"

namespace wavfx {
namespace {

bool NarrowAll(const char16_t* const (&wide)[3], char (&narrow)[3][kArgumentBufferSize],
               const Diagnostics& messages) {
  for (int i = 0; i < 3; ++i) {
    switch (NarrowArgument(wide[i], narrow[i])) {
      case ArgumentProblem::None:
        break;
      case ArgumentProblem::Missing:
        Say(messages, "missing argument");
        return false;
      case ArgumentProblem::TooLong:
        Say(messages, "argument too long");
        return false;
    }
  }
  return true;
}

bool IsRegularFile(std::FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
}

// Whether writing the output would overwrite the input: the same file through any link or
// spelling. A pipe, socket or terminal may serve as both ends.
bool IsSameFile(std::FILE* input, std::FILE* outputStream, const char* outputPath) {
  struct stat opened, named;
  if (fstat(fileno(input), &opened) != 0 || S_ISFIFO(opened.st_mode) || S_ISSOCK(opened.st_mode) ||
      S_ISCHR(opened.st_mode)) {
    return false;
  }
  const int found =
      outputStream != nullptr ? fstat(fileno(outputStream), &named) : stat(outputPath, &named);
  return found == 0 && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Reads the header of a caller's stream: a regular file at its start is walked like a named
// file, anything else (a pipe) only up to its first data chunk. Sets `piped` accordingly.
// The reader's diagnostic for a refused header. The silent problems print nothing, but a caller
// that keeps the reasons learns them too.
void SayWavProblem(const Diagnostics& messages, const WavHeader& header, const char* path) {
  const std::string reason = DescribeWavProblem(header.problem, header.detail, path);
  Say(IsSilentWavProblem(header.problem) ? Diagnostics{nullptr, messages.kept} : messages, reason);
}

bool ReadStreamHeader(std::FILE* input, StreamFormat& format, bool& piped,
                      const Diagnostics& messages) {
  piped = !IsRegularFile(input) || ftello(input) != 0;
  const WavHeader header = ParseWavHeader(input, piped);
  if (header.problem != WavProblem::None) {
    SayWavProblem(messages, header, "");
    return false;
  }
  format = header.format;
  return true;
}

// Whether the header written at the current position of `output` can be rewritten later: the
// stream is a regular file written from its start, not in append mode.
bool CanPatchHeader(std::FILE* output) {
  const int flags = fcntl(fileno(output), F_GETFL);
  return IsRegularFile(output) && ftello(output) == 0 && flags != -1 && (flags & O_APPEND) == 0;
}

uint64_t TailFrames(double seconds, uint32_t sampleRate) {
  if (!(seconds > 0)) return 0;
  const double frames = std::round(seconds * sampleRate);
  return frames < 4294967295.0 ? static_cast<uint64_t>(frames) : 4294967295u;
}

// Plans the streaming of the data `format` declares and sets `declared` to the data size the
// output header states: the input's, or with a tail its whole frames plus the tail.
StreamPlan PlanStream(const StreamFormat& format, bool piped, const JobOptions& options,
                      const Diagnostics* messages, uint32_t& declared) {
  const uint32_t blockAlign = format.blockAlign;
  const bool sizeUnknown =
      (piped || options.unknownSizeReadsToEnd) && format.dataSize >= kUnknownDataSize;
  const uint32_t whole = format.dataSize - format.dataSize % blockAlign;
  uint64_t tailBytes = TailFrames(options.tailSeconds, format.sampleRate) * blockAlign;
  declared = format.dataSize;
  if (tailBytes > 0 && !sizeUnknown) {
    const uint32_t room = (UINT32_MAX - whole) - (UINT32_MAX - whole) % blockAlign;
    if (tailBytes > room) tailBytes = room;
    declared = whole + static_cast<uint32_t>(tailBytes);
  }
  StreamPlan plan{};
  plan.dataBytes = sizeUnknown ? UINT64_MAX : format.dataSize;
  plan.endOfInputIsNormal = piped || sizeUnknown || options.inputWasPiped;
  plan.tailBytes = tailBytes;
  plan.totalBytes = sizeUnknown ? 0 : whole + tailBytes;
  plan.progress = options.progress;
  plan.progressContext = options.progressContext;
  plan.messages = messages;
  plan.ownsInput = options.input == nullptr;
  plan.ownsOutput = options.output == nullptr;
  return plan;
}

// Makes a patchable header describe the data actually written and flushes. Returns false when
// any buffered data could not be written.
bool FinishOutput(std::FILE* output, bool patchable, uint32_t declared, uint64_t written) {
  constexpr uint64_t kMostDescribable = UINT32_MAX - 36;  // the RIFF size must fit too
  bool ok = true;
  if (patchable && written != declared) {
    ok = PatchWavSizes(
        output, static_cast<uint32_t>(written < kMostDescribable ? written : kMostDescribable));
  }
  return std::fflush(output) == 0 && ok;
}

// Creates the output named `path` and writes its header: in place, or under a temporary name when
// `pending` is set. Null when it cannot be created.
std::FILE* CreateOutput(const char* path, const StreamFormat& format, char* buffer,
                        PendingOutput* pending) {
  if (pending == nullptr) return CreateWavFile(path, format, buffer);
  std::FILE* file = CreatePendingStream(path, *pending);
  if (file == nullptr) return nullptr;
  if (buffer != nullptr) std::setvbuf(file, buffer, _IOFBF, kFileBufferBytes);
  WriteWavHeaderTo(file, format);  // a failure surfaces when the stream is flushed
  return file;
}

}  // namespace

int32_t StatusOf(StreamOutcome outcome) {
  return outcome == StreamOutcome::NotStarted ? 1 : 999;
}

StreamOutcome ApplyEffect(const char16_t* input, const char16_t* output, const char16_t* effect) {
  return ApplyEffect(input, output, effect, JobOptions{});
}

StreamOutcome ApplyEffect(const char16_t* input, const char16_t* output, const char16_t* effect,
                          const JobOptions& options) {
  const Diagnostics messages{
      options.silent ? nullptr : (options.messages != nullptr ? options.messages : stderr),
      options.reasons};
  char narrow[3][kArgumentBufferSize];
  if (!NarrowAll({options.input != nullptr ? u"" : input, options.output != nullptr ? u"" : output,
                  effect},
                 narrow, messages)) {
    return StreamOutcome::NotStarted;
  }
  const char* inputPath = narrow[0];
  const char* outputPath = narrow[1];
  const char* effectName = narrow[2];

  // Both stdio buffers outlive the files, which are closed before this function returns.
  const std::unique_ptr<char[]> buffers(new (std::nothrow) char[2 * kFileBufferBytes]);
  char* inputBuffer = buffers ? buffers.get() : nullptr;
  char* outputBuffer = buffers ? buffers.get() + kFileBufferBytes : nullptr;

  StreamFormat format{};
  bool piped = false;
  std::FILE* in = options.input;
  if (in == nullptr) {
    WavHeader header;
    in = OpenWavFile(inputPath, header, inputBuffer);
    if (in == nullptr) {
      SayWavProblem(messages, header, inputPath);
      return StreamOutcome::NotStarted;
    }
    format = header.format;
  } else if (options.header != nullptr) {
    format = options.header->format;
  } else if (!ReadStreamHeader(in, format, piped, messages)) {
    return StreamOutcome::NotStarted;
  }
  auto closeInput = [&options, in] {
    if (options.input == nullptr) std::fclose(in);
  };
  if (IsSameFile(in, options.output, outputPath)) {
    closeInput();
    Say(messages, "input and output are the same file");
    return StreamOutcome::NotStarted;
  }
  format.blockAlign = format.channels * (format.bitsPerSample / 8);
  format.byteRate = format.sampleRate * format.blockAlign;
  StreamFormat outputFormat = format;
  const StreamPlan plan = PlanStream(format, piped, options, &messages, outputFormat.dataSize);
  const ChainRecipe* recipe = options.chain;
  ChainError misfit;
  if (recipe != nullptr && !ChainFits(*recipe, {format.channels, format.sampleRate}, misfit)) {
    closeInput();
    Say(messages, misfit.message);
    return StreamOutcome::NotStarted;
  }
  if (recipe != nullptr && RecipeReshapes(*recipe)) {
    // The length is known only at the end: a pipe's header says so, a file's is corrected then.
    const StreamShape shape = ChainOutputShape(*recipe, {format.channels, format.sampleRate});
    outputFormat.channels = shape.channels;
    outputFormat.sampleRate = shape.sampleRate;
    outputFormat.blockAlign = shape.channels * 2;
    outputFormat.byteRate = shape.sampleRate * outputFormat.blockAlign;
    outputFormat.dataSize = kUnknownDataSize;
  }

  std::FILE* out = options.output;
  bool patchable = true;
  PendingOutput pending;
  const bool atomic = out == nullptr && options.atomicOutput;
  if (out == nullptr) {
    out = CreateOutput(outputPath, outputFormat, outputBuffer, atomic ? &pending : nullptr);
    if (out == nullptr) {
      closeInput();
      Say(messages, std::string("cannot open output '") + outputPath + "'");
      return StreamOutcome::NotStarted;
    }
    patchable = IsRegularFile(out);
  } else {
    patchable = CanPatchHeader(out);
    WriteWavHeaderTo(out, outputFormat);  // a failure surfaces when the stream is flushed
  }

  // A block never holds a frame wider than the conversion chunk, so the chain needs no room for
  // wide frames.
  EffectChain chain;
  InitChain(chain, options.chain != nullptr ? *options.chain : RecipeOfName(effectName),
            format.channels, format.sampleRate);
  StreamResult result = StreamBlocks(in, out, plan, format.blockAlign, chain);
  ReleaseChain(chain);
  if (options.framesWritten != nullptr)
    *options.framesWritten = result.bytesWritten / format.blockAlign;
  closeInput();
  bool finished = FinishOutput(out, patchable, outputFormat.dataSize, result.bytesWritten);
  if (options.output == nullptr) finished &= std::fclose(out) == 0;
  if (!finished && result.outcome != StreamOutcome::WriteFailed) {
    Say(messages, "write failed");
    result.outcome = StreamOutcome::WriteFailed;
  }
  if (atomic && !SettlePendingOutput(pending, result.outcome)) {
    Say(messages, std::string("cannot replace '") + outputPath + "': " + std::strerror(errno));
    result.outcome = StreamOutcome::WriteFailed;
  }
  return result.outcome;
}

}  // namespace wavfx
