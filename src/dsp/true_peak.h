#pragma once

#include <cstddef>
#include <cstdint>

namespace wavfx {

// ITU-R BS.1770-4 Annex 2 true-peak interpolation: 4x oversampling by the standard's 48-tap FIR,
// 12 taps per phase. Point n of a stream has four values, phase p (0..3) being
// sum over t = 0..11 of kTruePeakTaps[t][p] * x[n - 11 + t], summed in that order: the window
// runs oldest first, and samples before the stream are 0.
constexpr std::size_t kTruePeakTaps = 12;
constexpr std::size_t kTruePeakPhases = 4;
extern const float kTruePeakFilter[kTruePeakTaps][kTruePeakPhases];

// The four values of the point whose window (12 samples, oldest first, `stride` floats apart)
// starts at `window`, in single precision.
inline void TruePeakPoint(const float* window, std::size_t stride, float values[4]) {
  float sum[kTruePeakPhases] = {};
  for (std::size_t t = 0; t < kTruePeakTaps; ++t) {
    const float x = window[t * stride];
    for (std::size_t p = 0; p < kTruePeakPhases; ++p)
      sum[p] = sum[p] + kTruePeakFilter[t][p] * x;
  }
  for (std::size_t p = 0; p < kTruePeakPhases; ++p)
    values[p] = sum[p];
}

// A running true-peak meter: fed interleaved float frames in blocks of any size, it keeps each
// channel's largest absolute oversampled value (linear; 20 log10 of it is dBTP).
struct TruePeakMeter {
  uint32_t channels;
  uint32_t position;  // where the next sample goes in each channel's window
  float* windows;     // owned: per channel, the last 12 samples twice over (24 floats)
  float* maxima;      // owned: per channel
};

// False when memory is short; the meter must be released either way.
bool InitTruePeakMeter(TruePeakMeter& meter, uint32_t channels);
void ReleaseTruePeakMeter(TruePeakMeter& meter);

// Takes `frames` frames. When `values` is not null it receives, per frame and channel, the four
// oversampled values of the point ending at that frame (frames * channels * 4 floats).
void FeedTruePeak(TruePeakMeter& meter, const float* samples, std::size_t frames, float* values);

// The largest absolute oversampled value of a channel so far; 0 before any input.
float TruePeakOf(const TruePeakMeter& meter, uint32_t channel);

}  // namespace wavfx
