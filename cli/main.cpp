// wavfx: applies one effect to 16-bit PCM WAV files.
#include <cstdio>
#include <string>

#include "batch.h"
#include "command_line.h"
#include "engine/effect.h"
#include "exit_status.h"
#include "info.h"
#include "single_job.h"

namespace {

void PrintEffects() {
  const auto names = wavfx::EffectNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0 && names[i].kind == names[i - 1].kind) continue;  // aliases follow their first name
    std::string line = names[i].literal;
    for (std::size_t j = i + 1; j < names.size() && names[j].kind == names[i].kind; ++j) {
      line += std::string(", ") + names[j].literal;
    }
    std::printf("%-22s %s\n", line.c_str(), names[i].description);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace wavfx::cli;
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(argc, argv, line, error)) {
    PrintUsage(stderr);
    if (!error.empty()) std::fprintf(stderr, "Error: %s\n", error.c_str());
    return kExitNotStarted;
  }
  switch (line.mode) {
    case Mode::Help:
      PrintHelp();
      return kExitDone;
    case Mode::Version:
      std::printf("wavfx %s\n", WAVFX_VERSION);
      return kExitDone;
    case Mode::List:
      PrintEffects();
      return kExitDone;
    case Mode::Info:
      return RunInfo(line.files);
    case Mode::Batch:
      return RunBatch(line);
    case Mode::Single:
      break;
  }
  return RunSingleJob(line);
}
