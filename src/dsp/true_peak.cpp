#include "dsp/true_peak.h"

#include <new>

namespace wavfx {

// The standard's coefficients, by tap (oldest sample first) and phase.
alignas(16) const float kTruePeakFilter[kTruePeakTaps][kTruePeakPhases] = {
    {-0.0083007812500f, -0.0189208984375f, -0.0291748046875f, 0.0017089843750f},
    {0.0148925781250f, 0.0330810546875f, 0.0292968750000f, 0.0109863281250f},
    {-0.0266113281250f, -0.0582275390625f, -0.0517578125000f, -0.0196533203125f},
    {0.0476074218750f, 0.1015625000000f, 0.0891113281250f, 0.0332031250000f},
    {-0.1022949218750f, -0.2003173828125f, -0.1665039062500f, -0.0594482421875f},
    {0.9721679687500f, 0.7797851562500f, 0.4650878906250f, 0.1373291015625f},
    {0.1373291015625f, 0.4650878906250f, 0.7797851562500f, 0.9721679687500f},
    {-0.0594482421875f, -0.1665039062500f, -0.2003173828125f, -0.1022949218750f},
    {0.0332031250000f, 0.0891113281250f, 0.1015625000000f, 0.0476074218750f},
    {-0.0196533203125f, -0.0517578125000f, -0.0582275390625f, -0.0266113281250f},
    {0.0109863281250f, 0.0292968750000f, 0.0330810546875f, 0.0148925781250f},
    {0.0017089843750f, -0.0291748046875f, -0.0189208984375f, -0.0083007812500f},
};

bool InitTruePeakMeter(TruePeakMeter& meter, uint32_t channels) {
  meter = TruePeakMeter{};
  meter.channels = channels;
  meter.windows = new (std::nothrow) float[2 * kTruePeakTaps * channels + 1]();
  meter.maxima = new (std::nothrow) float[channels + 1]();
  return meter.windows != nullptr && meter.maxima != nullptr;
}

void ReleaseTruePeakMeter(TruePeakMeter& meter) {
  delete[] meter.windows;
  delete[] meter.maxima;
  meter.windows = nullptr;
  meter.maxima = nullptr;
}

void FeedTruePeak(TruePeakMeter& meter, const float* samples, std::size_t frames, float* values) {
  if (meter.windows == nullptr || meter.maxima == nullptr) return;
  const std::size_t channels = meter.channels;
  for (std::size_t f = 0; f < frames; ++f) {
    const std::size_t at = meter.position;
    for (std::size_t c = 0; c < channels; ++c) {
      float* window = meter.windows + c * 2 * kTruePeakTaps;
      window[at] = window[at + kTruePeakTaps] = samples[f * channels + c];
      const Phases point = TruePeakPoint(window + at + 1, 1);
      const float magnitude = LargestMagnitude(point);
      if (magnitude > meter.maxima[c]) meter.maxima[c] = magnitude;
      if (values != nullptr)
        std::memcpy(values + (f * channels + c) * kTruePeakPhases, &point, sizeof point);
    }
    meter.position = at + 1 == kTruePeakTaps ? 0 : static_cast<uint32_t>(at + 1);
  }
}

float TruePeakOf(const TruePeakMeter& meter, uint32_t channel) {
  return meter.maxima != nullptr && channel < meter.channels ? meter.maxima[channel] : 0.0f;
}

}  // namespace wavfx
