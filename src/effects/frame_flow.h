#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "effects/family.h"

namespace wavfx {

// What the reshaping families share: frames moved as bytes, and time parameters.

// The address of frame `frame` of interleaved samples `sampleBytes` wide.
inline unsigned char* FrameAt(void* base, std::size_t frame, std::size_t channels,
                              std::size_t sampleBytes) {
  return static_cast<unsigned char*>(base) + frame * channels * sampleBytes;
}
inline const unsigned char* FrameAt(const void* base, std::size_t frame, std::size_t channels,
                                    std::size_t sampleBytes) {
  return static_cast<const unsigned char*>(base) + frame * channels * sampleBytes;
}

inline void CopyFrames(void* to, const void* from, std::size_t frames, std::size_t channels,
                       std::size_t sampleBytes) {
  if (frames > 0) std::memcpy(to, from, frames * channels * sampleBytes);
}

// Silence in every sample width: all bytes zero is 0 and +0.0.
inline void SilenceFrames(void* to, std::size_t frames, std::size_t channels,
                          std::size_t sampleBytes) {
  if (frames > 0) std::memset(to, 0, frames * channels * sampleBytes);
}

// Operations many reshaping families share: the stream's shape kept, nothing held back, only
// copies made.
inline StreamShape KeepShape(const StageValues&, StreamShape in) {
  return in;
}
inline std::size_t NothingHeld(void*, void*, std::size_t, std::size_t) {
  return 0;
}
inline uint64_t NoLatency(const void*) {
  return 0;
}
inline bool OnlyCopies(const void*) {
  return true;
}

// A time parameter: seconds, or frames with a trailing 's'.
constexpr ParameterSyntax kTimeSyntax = {nullptr, 0, true, false};

// Every whole count up to this is exact in a double.
constexpr double kMaxTimeFrames = 0x1p53;

inline bool GivenInFrames(const StageValues& values, std::size_t i) {
  return ((values.samples >> i) & 1u) != 0;
}

// Time parameter i in frames at `sampleRate`: a count given with 's' as it stands, seconds times
// the rate rounded to the nearest frame, halves up (floor(seconds * rate + 0.5), in double
// precision). A value outside 0 to kMaxTimeFrames, NaN included, counts as 0.
uint64_t TimeFrames(const StageValues& values, std::size_t i, uint32_t sampleRate);

// Time parameter i as written: "1.5 s" or "1000s".
std::string TimeText(const StageValues& values, std::size_t i);

// Whether time parameter i, when given in frames, is a whole count of at most `maxFrames`; false
// with the reason, naming `parameter`.
bool FrameCountFits(const StageValues& values, std::size_t i, const wavfx_parameter_info& parameter,
                    double maxFrames, std::string& problem);

}  // namespace wavfx
