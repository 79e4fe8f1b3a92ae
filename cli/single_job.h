#pragma once

#include "command_line.h"
#include "entry/general_job.h"

namespace wavfx::cli {

// wavfx [--tail SECONDS] [--quiet] INPUT OUTPUT EFFECT, with '-' for standard input or output.
// Without options it runs exactly WAVEffect's job. Returns the exit status.
int RunSingleJob(const CommandLine& line);

// The error line and the notes (non-finite inputs, clipped samples) of a general job.
void PrintJobNotes(const JobResult& result);

}  // namespace wavfx::cli
