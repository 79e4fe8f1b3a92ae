#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace wavfx::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kFirstDrawAfter = std::chrono::milliseconds(300);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string Bytes(double bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

int TerminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

ProgressBar MakeProgressBar(bool quiet) {
  ProgressBar bar;
  bar.enabled = !quiet && isatty(STDERR_FILENO) == 1;
  bar.start = Clock::now();
  bar.lastDraw = bar.start;
  return bar;
}

bool ProgressDue(ProgressBar& bar) {
  if (!bar.enabled) return false;
  const auto now = Clock::now();
  if (now - bar.start < kFirstDrawAfter || now - bar.lastDraw < kRedrawEvery) return false;
  bar.lastDraw = now;
  return true;
}

void DrawProgress(ProgressBar& bar, const std::string& prefix, uint64_t done, uint64_t total) {
  const std::chrono::duration<double> elapsed = Clock::now() - bar.start;
  const std::string line = FormatProgress(prefix, done, total, elapsed.count(), TerminalWidth());
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  bar.shown = true;
}

void ClearProgress(ProgressBar& bar) {
  if (!bar.shown) return;
  std::fputs("\r\033[K", stderr);
  bar.shown = false;
}

std::string FormatProgress(const std::string& prefix, uint64_t done, uint64_t total, double seconds,
                           int width) {
  std::string figures = Bytes(static_cast<double>(done));
  if (total > 0) figures += " of " + Bytes(static_cast<double>(total));
  if (seconds > 0) figures += "  " + Bytes(static_cast<double>(done) / seconds) + "/s";
  std::string line = prefix.empty() ? "" : prefix + "  ";
  if (total > 0) {
    const double fraction =
        done < total ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100));
    const int room = width - 1 - static_cast<int>(line.size() + figures.size()) - 10;
    const int cells = room < 30 ? room : 30;
    if (cells >= 10) {
      const auto filled = static_cast<int>(fraction * cells);
      line += '[';
      line.append(static_cast<std::size_t>(filled), '#');
      line.append(static_cast<std::size_t>(cells - filled), '-');
      line += "] ";
    }
    line += std::string(percent) + "  ";
  }
  line += figures;
  if (width > 1 && line.size() >= static_cast<std::size_t>(width)) {
    line.resize(static_cast<std::size_t>(width - 1));
  }
  return line;
}

}  // namespace wavfx::cli
