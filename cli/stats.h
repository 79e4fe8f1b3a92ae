#pragma once

#include <vector>

namespace wavfx::cli {

// wavfx --stats [--json] FILE...: loudness and statistics of each FILE ('-': standard input), as
// a table or one JSON object a line. Returns 0 when every file was read, 1 otherwise.
int RunStats(const std::vector<const char*>& files, bool json);

}  // namespace wavfx::cli
