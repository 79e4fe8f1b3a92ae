// wavfx: applies effects and chains of effects to WAV files.
#include <cstdio>
#include <string>

#include "batch.h"
#include "command_line.h"
#include "effect_listing.h"
#include "exit_status.h"
#include "info.h"
#include "single_job.h"
#include "stats.h"

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
      if (line.files.empty()) {
        PrintHelp();
        return kExitDone;
      }
      if (PrintEffectHelp(line.files[0])) return kExitDone;
      std::fprintf(stderr, "Error: unknown effect '%s' (wavfx --list shows them)\n", line.files[0]);
      return kExitNotStarted;
    case Mode::Version:
      std::printf("wavfx %s\n", WAVFX_VERSION);
      return kExitDone;
    case Mode::List:
      line.json ? PrintEffectJson() : PrintEffectList();
      return kExitDone;
    case Mode::Info:
      return RunInfo(line.files);
    case Mode::Stats:
      return RunStats(line.files, line.json);
    case Mode::Batch:
      return RunBatch(line);
    case Mode::Single:
      break;
  }
  return RunSingleJob(line);
}
