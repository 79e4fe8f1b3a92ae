#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wav/wav_reader.h"

namespace wavfx::cli {

// Why the reader refuses the file `name` with `header`, exactly, also where it prints nothing.
// `fileSize` is -1 for a pipe.
std::string RefusalReason(const WavHeader& header, const char* name, int64_t fileSize);

// wavfx --info FILE...: prints, for each FILE ('-': standard input), what the reader sees in it
// or why it refuses it. Returns 0 when every file would be accepted, 1 otherwise.
int RunInfo(const std::vector<const char*>& files);

}  // namespace wavfx::cli
