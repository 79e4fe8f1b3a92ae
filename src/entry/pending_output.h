#pragma once

#include <cstdio>
#include <string>

#include "entry/apply_effect.h"

namespace wavfx {

// An output file written under a temporary name in its directory and renamed over its name when
// the job ends, so that a job killed or failing midway leaves the old file, if any, and never a
// partial one under the output's name.
struct PendingOutput {
  std::string path;       // the file replaced: the output's name, symbolic links followed
  std::string temporary;  // ".NAME.wavfx-XXXXXXXX.tmp" beside it; empty when written in place
};

// Creates the file a job writes to and returns its descriptor, open for writing, or -1 with errno
// set where creating the output itself would fail too. The temporary file takes the permission
// bits (and, where allowed, the owner) of the file it replaces; a new one gets 0666 less the
// umask. A name that is not a regular file (a device, a FIFO), or a regular file in a directory
// that takes no new file, is opened and emptied in place, as fopen's "wb" does.
int CreatePendingOutput(const char* path, PendingOutput& output);

// The same as a stream for "wb"; null, leaving nothing behind, when it cannot be created.
std::FILE* CreatePendingStream(const char* path, PendingOutput& output);

// Ends the output of a job that ended with `outcome`: renames it into place when its header tells
// what it holds (the job completed, was cut short by its input or streamed nothing), removes it
// after a write failure or when the job did not start. Returns false with errno set when the rename
// fails; the temporary file is then removed. An output written in place stays as it is.
bool SettlePendingOutput(const PendingOutput& output, StreamOutcome outcome);

// Removes the temporary file, leaving the output's name as it was.
void DiscardPendingOutput(const PendingOutput& output);

}  // namespace wavfx
