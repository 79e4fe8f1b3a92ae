#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace wavfx::cli {

// A one-line progress bar on standard error, redrawn in place.
struct ProgressBar {
  bool enabled = false;
  bool shown = false;  // a bar is on the screen
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point lastDraw;
};

// A bar that draws only when standard error is a terminal and `quiet` is not set.
ProgressBar MakeProgressBar(bool quiet);

// Whether the bar should be drawn now: not in a job's first 0.3 s, then at most 10 times a second.
bool ProgressDue(ProgressBar& bar);

// Draws "PREFIX [#####-----]  45%  12.3 MiB of 27.0 MiB  85.2 MiB/s" (no bar, percentage or
// total when `total` is 0: unknown).
void DrawProgress(ProgressBar& bar, const std::string& prefix, uint64_t done, uint64_t total);

// Removes the bar from the screen.
void ClearProgress(ProgressBar& bar);

// The text of the bar for `width` columns.
std::string FormatProgress(const std::string& prefix, uint64_t done, uint64_t total, double seconds,
                           int width);

}  // namespace wavfx::cli
