#include "effects/frame_flow.h"

namespace wavfx {

uint64_t TimeFrames(const StageValues& values, std::size_t i, uint32_t sampleRate) {
  double frames = values.values[i];
  if (!GivenInFrames(values, i)) frames = frames * static_cast<double>(sampleRate) + 0.5;
  if (!(frames >= 0.0 && frames <= kMaxTimeFrames)) return 0;
  return static_cast<uint64_t>(frames);
}

std::string TimeText(const StageValues& values, std::size_t i) {
  return FormatNumber(values.values[i]) + (GivenInFrames(values, i) ? "s" : " s");
}

bool FrameCountFits(const StageValues& values, std::size_t i, const wavfx_parameter_info& parameter,
                    double maxFrames, std::string& problem) {
  const double count = values.values[i];
  if (!GivenInFrames(values, i) || (count >= 0.0 && count <= maxFrames &&
                                    count == static_cast<double>(static_cast<uint64_t>(count))))
    return true;
  problem = std::string(parameter.name) + " " + TimeText(values, i) +
            " is not a whole count of frames (0s to " + FormatNumber(maxFrames) + "s)";
  return false;
}

}  // namespace wavfx
