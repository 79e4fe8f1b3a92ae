#pragma once

#include "command_line.h"

namespace wavfx::cli {

// wavfx [--tail SECONDS] [--quiet] INPUT OUTPUT EFFECT, with '-' for standard input or output.
// Without options it runs exactly WAVEffect's job. Returns the exit status.
int RunSingleJob(const CommandLine& line);

}  // namespace wavfx::cli
