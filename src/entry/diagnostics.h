#pragma once

#include <cstdio>
#include <string>

namespace wavfx {

// Where a job's diagnostic lines go: printed as "Error: LINE" to `stream` unless it is null, and
// appended to `kept`, when set, joined by "; ", so that a caller learns why without reading text
// back from a stream.
struct Diagnostics {
  std::FILE* stream;
  std::string* kept;
};

inline void Say(const Diagnostics& to, const std::string& line) {
  if (to.stream != nullptr) std::fprintf(to.stream, "Error: %s\n", line.c_str());
  if (to.kept != nullptr) *to.kept += (to.kept->empty() ? "" : "; ") + line;
}

}  // namespace wavfx
