#pragma once

#include <cstdint>

namespace wavfx {

// One second-order section, y = (b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2), a0 being 1.
struct Biquad {
  double b0, b1, b2, a1, a2;
};

// The K-weighting of loudness measurement (ITU-R BS.1770) at any rate: the high shelf of the
// head's acoustics, then the RLB high-pass, each designed by the bilinear transform of its
// analog prototype (shelf: f0 1681.97 Hz, gain 4.0 dB, Q 0.7072; high-pass: f0 38.135 Hz,
// Q 0.5003) with this library's own tangent and powers (the same on every build). At 48 kHz they
// are the standard's coefficients to about 1e-9.
struct KWeighting {
  Biquad shelf;
  Biquad highpass;
};

KWeighting DesignKWeighting(uint32_t sampleRate);

}  // namespace wavfx
