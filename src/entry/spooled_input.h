#pragma once

#include <string>

namespace wavfx {

// A copy of a stream in an unnamed temporary file (in TMPDIR, else /tmp), for jobs that read their
// input more than once. The file has no name from the start, so it goes with the process on every
// exit path; `path` (/proc/self/fd/N) opens it again.
struct SpooledInput {
  int descriptor = -1;
  std::string path;
};

// Copies everything readable from `from` (a descriptor) into a new spooled file. False with
// `reason` set to one line when the file cannot be made or written.
bool SpoolInput(int from, SpooledInput& spooled, std::string& reason);

void CloseSpooledInput(SpooledInput& spooled);

}  // namespace wavfx
