#pragma once

#include <string>

#include "command_line.h"
#include "entry/general_job.h"

namespace wavfx::cli {

// wavfx [--tail SECONDS] [--quiet] INPUT OUTPUT EFFECT, with '-' for standard input or output.
// Without options it runs exactly WAVEffect's job. Returns the exit status.
int RunSingleJob(const CommandLine& line);

// The error line and the notes (measurements, non-finite inputs, clipped samples) of a job.
void PrintJobNotes(const JobResult& result);

// Each line of `lines` as a note on standard error.
void PrintNotes(const std::string& lines);

}  // namespace wavfx::cli
