#pragma once

#include "command_line.h"

namespace wavfx::cli {

// wavfx -e EFFECT -o OUTDIR [-j N] [--tail SECONDS] [--quiet] FILE...: writes each FILE through
// EFFECT to OUTDIR under its own name, N files at once, with a status line per file and a
// summary on standard error. Returns 2 when any file was left incomplete, else 1 when any could
// not start, else 0.
int RunBatch(const CommandLine& line);

}  // namespace wavfx::cli
