#include "stats.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "entry/measure_file.h"
#include "exit_status.h"
#include "json_text.h"

namespace wavfx::cli {
namespace {

// The shortest text that reads back as `value`; JSON's null for what is not finite.
std::string Number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string StatsJson(const StatsReport& s, double truePeak) {
  std::string out = "{\"true_peak_dbtp\":" + Number(truePeak) +
                    ",\"dc_offset\":" + Number(s.dcOffset) + ",\"min\":" + Number(s.minimum) +
                    ",\"max\":" + Number(s.maximum) + ",\"peak_dbfs\":" + Number(s.peakDb) +
                    ",\"rms_dbfs\":" + Number(s.rmsDb) +
                    ",\"crest_factor\":" + Number(s.crestFactor) +
                    ",\"full_scale\":" + std::to_string(s.fullScale);
  out += ",\"bit_depth\":" + (s.bitDepth < 0 ? std::string("null") : std::to_string(s.bitDepth));
  return out + "}";
}

void PrintJson(const char* name, const SoundInfo& info, const MeterReport& r) {
  std::string out = "{\"file\":" + JsonString(name) +
                    ",\"container\":" + JsonString(info.container) +
                    ",\"encoding\":" + JsonString(info.encoding) +
                    ",\"channels\":" + std::to_string(info.channels) +
                    ",\"sample_rate\":" + std::to_string(info.sampleRate) +
                    ",\"frames\":" + std::to_string(r.frames);
  out += ",\"integrated_lufs\":" + Number(r.loudness.integrated);
  out += ",\"momentary_max_lufs\":" + Number(r.loudness.momentaryMax);
  out += ",\"short_term_max_lufs\":" + Number(r.loudness.shortTermMax);
  out += ",\"loudness_range_lu\":" + Number(r.loudness.range);
  out += ",\"sample_peak_dbfs\":" + Number(r.overall.peakDb);
  out += ",\"true_peak_dbtp\":" + Number(r.truePeak);
  out += ",\"non_finite\":" + std::to_string(r.nonFinite);
  out += ",\"overall\":" + StatsJson(r.overall, r.truePeak) + ",\"per_channel\":[";
  for (std::size_t c = 0; c < r.channels.size(); ++c) {
    if (c > 0) out += ',';
    out += StatsJson(r.channels[c], r.truePeaks[c]);
  }
  std::printf("%s]}\n", out.c_str());
}

std::string Fixed(double value, int decimals, const char* unit = "") {
  const std::string suffix = *unit != '\0' ? std::string(" ") + unit : "";
  if (std::isinf(value) && value < 0) return "-inf" + suffix;
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text + suffix;
}

void Row(const char* label, const MeterReport& r, std::string (*cell)(const StatsReport&)) {
  std::printf("  %-18s %12s", label, cell(r.overall).c_str());
  if (r.channels.size() > 1) {
    for (const StatsReport& s : r.channels)
      std::printf(" %12s", cell(s).c_str());
  }
  std::printf("\n");
}

void PrintTable(const char* name, const SoundInfo& info, const MeterReport& r) {
  std::printf("%s: %s, %s, %d channels, %d Hz, %.3f s\n", name, info.container.c_str(),
              info.encoding.c_str(), info.channels, info.sampleRate,
              static_cast<double>(r.frames) / info.sampleRate);
  std::printf("  %-18s %s\n", "integrated", Fixed(r.loudness.integrated, 1, "LUFS").c_str());
  std::printf("  %-18s %s\n", "loudness range", Fixed(r.loudness.range, 1, "LU").c_str());
  std::printf("  %-18s %s\n", "momentary max", Fixed(r.loudness.momentaryMax, 1, "LUFS").c_str());
  std::printf("  %-18s %s\n", "short-term max", Fixed(r.loudness.shortTermMax, 1, "LUFS").c_str());
  std::printf("  %-18s %s\n", "true peak", Fixed(r.truePeak, 2, "dBTP").c_str());
  std::printf("  %-18s %12s", "", "overall");
  if (r.channels.size() > 1) {
    for (std::size_t c = 0; c < r.channels.size(); ++c)
      std::printf(" %12s", ("channel " + std::to_string(c + 1)).c_str());
  }
  std::printf("\n");
  Row("DC offset", r, [](const StatsReport& s) { return Fixed(s.dcOffset, 6); });
  Row("min level", r, [](const StatsReport& s) { return Fixed(s.minimum, 6); });
  Row("max level", r, [](const StatsReport& s) { return Fixed(s.maximum, 6); });
  Row("peak level", r, [](const StatsReport& s) { return Fixed(s.peakDb, 2, "dB"); });
  Row("RMS level", r, [](const StatsReport& s) { return Fixed(s.rmsDb, 2, "dB"); });
  Row("crest factor", r, [](const StatsReport& s) { return Fixed(s.crestFactor, 2); });
  Row("full scale", r, [](const StatsReport& s) { return std::to_string(s.fullScale); });
  Row("bit depth", r, [](const StatsReport& s) {
    return s.bitDepth < 0 ? std::string("float") : std::to_string(s.bitDepth);
  });
  if (r.nonFinite > 0) {
    std::printf("  %-18s %llu read as 0\n", "NaN or infinite",
                static_cast<unsigned long long>(r.nonFinite));
  }
}

}  // namespace

int RunStats(const std::vector<const char*>& files, bool json) {
  bool allRead = true;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const bool standardInput = std::string_view(files[i]) == "-";
    SoundInfo info;
    Meter meter;
    std::string reason;
    if (!MeasureSoundFile(files[i], standardInput ? STDIN_FILENO : -1, info, meter, reason)) {
      std::fprintf(stderr, "Error: %s: %s\n", files[i], reason.c_str());
      allRead = false;
      continue;
    }
    const char* name = standardInput ? "(standard input)" : files[i];
    if (json) {
      PrintJson(name, info, ReportMeter(meter));
    } else {
      if (i > 0) std::printf("\n");
      PrintTable(name, info, ReportMeter(meter));
    }
  }
  std::fflush(stdout);
  return allRead ? kExitDone : kExitNotStarted;
}

}  // namespace wavfx::cli
