#pragma once

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

#include "support/wav_files.h"

namespace wavfx::testing {

// Writes `pieces` at their offsets; the gaps stay holes, so files of several GiB cost nothing.
void WriteSparse(const std::filesystem::path& path,
                 const std::vector<std::pair<int64_t, Bytes>>& pieces);

}  // namespace wavfx::testing
