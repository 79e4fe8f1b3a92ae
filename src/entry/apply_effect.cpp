#include "entry/apply_effect.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <new>

#include "engine/effect.h"
#include "entry/arguments.h"
#include "entry/stream.h"
#include "wav/wav_reader.h"
#include "wav/wav_writer.h"

namespace wavfx {
namespace {

bool NarrowAll(const char16_t* const (&wide)[3], char (&narrow)[3][kArgumentBufferSize]) {
  for (int i = 0; i < 3; ++i) {
    switch (NarrowArgument(wide[i], narrow[i])) {
      case ArgumentProblem::None:
        break;
      case ArgumentProblem::Missing:
        std::fprintf(stderr, "Error: missing argument\n");
        return false;
      case ArgumentProblem::TooLong:
        std::fprintf(stderr, "Error: argument too long\n");
        return false;
    }
  }
  return true;
}

// Whether `path` names the file already open as `file`, through any link or spelling.
bool IsSameFile(std::FILE* file, const char* path) {
  struct stat opened, named;
  return fstat(fileno(file), &opened) == 0 && stat(path, &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool IsRegularFile(std::FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
}

// Makes the header describe the data actually written, flushes and closes. Returns false when
// any buffered data could not be written.
bool FinishOutput(std::FILE* output, uint32_t declared, uint32_t written) {
  bool ok = true;
  if (written != declared && IsRegularFile(output)) ok = PatchWavSizes(output, written);
  ok &= std::fflush(output) == 0;
  ok &= std::fclose(output) == 0;
  return ok;
}

}  // namespace

int32_t StatusOf(StreamOutcome outcome) {
  return outcome == StreamOutcome::NotStarted ? 1 : 999;
}

StreamOutcome ApplyEffect(const char16_t* input, const char16_t* output, const char16_t* effect) {
  char narrow[3][kArgumentBufferSize];
  if (!NarrowAll({input, output, effect}, narrow)) return StreamOutcome::NotStarted;
  const char* inputPath = narrow[0];
  const char* outputPath = narrow[1];
  const char* effectName = narrow[2];

  // Both stdio buffers outlive the files, which are closed before this function returns.
  const std::unique_ptr<char[]> buffers(new (std::nothrow) char[2 * kFileBufferBytes]);
  char* inputBuffer = buffers ? buffers.get() : nullptr;
  char* outputBuffer = buffers ? buffers.get() + kFileBufferBytes : nullptr;

  StreamFormat format;
  int64_t dataOffset;
  std::FILE* in = ReadWavHeader(inputPath, format, dataOffset, inputBuffer);
  if (in == nullptr) return StreamOutcome::NotStarted;
  if (IsSameFile(in, outputPath)) {
    std::fclose(in);
    std::fprintf(stderr, "Error: input and output are the same file\n");
    return StreamOutcome::NotStarted;
  }
  format.blockAlign = format.channels * (format.bitsPerSample / 8);
  format.byteRate = format.sampleRate * format.blockAlign;
  std::FILE* out = WriteWavHeader(outputPath, format, outputBuffer);
  if (out == nullptr) {
    std::fclose(in);
    return StreamOutcome::NotStarted;
  }

  EffectState state{};
  InitEffect(state, effectName, format.channels, format.sampleRate);
  StreamResult result = StreamBlocks(in, out, format.dataSize, format.blockAlign, state);
  ReleaseEffect(state);
  std::fclose(in);
  if (!FinishOutput(out, format.dataSize, result.bytesWritten) &&
      result.outcome != StreamOutcome::WriteFailed) {
    std::fprintf(stderr, "Error: write failed\n");
    result.outcome = StreamOutcome::WriteFailed;
  }
  return result.outcome;
}

}  // namespace wavfx
