// The conversions of integer samples of every depth: 16 bits is exactly the strict path's pair,
// and the other depths follow the same rule at their scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "dsp/packed_pcm.h"
#include "dsp/pcm_conversion.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {
namespace {

TEST(PcmConversion, SixteenBitsIsTheStrictPair) {
  for (int32_t s = -32768; s <= 32767; ++s) {
    float x;
    IntsToFloats(&s, &x, 1, 16);
    ASSERT_EQ(x, SampleToFloat(static_cast<int16_t>(s)));
  }
  for (uint32_t bits = 0; bits < 0xFFFFFFFFu - 0x10000u; bits += 0x1357u) {
    const float x = std::bit_cast<float>(bits);
    int32_t s;
    FloatsToInts(&x, &s, 1, 16);
    ASSERT_EQ(s, FloatToSample(x)) << x;
  }
}

TEST(PcmConversion, EveryDepthRoundTripsAndClampsAlike) {
  struct Case {
    int bits;
    float in;
    int32_t out;
    uint64_t clipped;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {8, 1.0f, 127, 0},         {8, -1.0f, -127, 0},
      {8, 2.0f, 127, 1},         {24, 0.5f, 4194304, 0},
      {24, -1.0f, -8388607, 0},  {24, -1.5f, -8388608, 1},
      {32, 1.0f, 2147483647, 0}, {32, -inf, -2147483647 - 1, 1},
      {32, NAN, 0, 0},           {32, 0.25f, 536870912, 0},
      {24, inf, 8388607, 1},
  };
  for (const Case& c : cases) {
    int32_t s;
    EXPECT_EQ(FloatsToInts(&c.in, &s, 1, c.bits), c.clipped) << c.bits << " " << c.in;
    EXPECT_EQ(s, c.out) << c.bits << " " << c.in;
  }
  // Up to 24 bits every sample converts exactly and comes back one step nearer zero at most,
  // as 16-bit samples do (the scale in is 2^(b-1), out 2^(b-1) - 1).
  for (int bits : {8, 24}) {
    const int32_t top = (1 << (bits - 1)) - 1;
    for (int32_t s : {-top - 1, -top, -1, 0, 1, top / 2, top}) {
      float x;
      int32_t back;
      IntsToFloats(&s, &x, 1, bits);
      EXPECT_EQ(x, std::ldexp(static_cast<float>(s), 1 - bits));
      FloatsToInts(&x, &back, 1, bits);
      EXPECT_LE(std::abs(back - s), 1) << bits << " " << s;
    }
  }
}

// Packed samples of every layout against bytes assembled one at a time, at every length up to
// past the vector kernels' steps, on every vector path.
TEST(PackedPcm, EveryLayoutUnpacksAndPacksItsBytes) {
  const PackedLayout layouts[] = {{1, false, true},  {1, false, false}, {2, false, false},
                                  {2, true, false},  {3, false, false}, {3, true, false},
                                  {4, false, false}, {4, true, false}};
  std::mt19937 random(5);
  std::vector<unsigned char> bytes(4 * 41);
  for (unsigned char& byte : bytes)
    byte = static_cast<unsigned char>(random());
  for (VectorPath path : {VectorPath::Scalar, VectorPath::Avx2, VectorPath::Avx512}) {
    if (!VectorPathAvailable(path)) continue;
    SetVectorPathForTesting(path);
    for (const PackedLayout& layout : layouts) {
      for (std::size_t count = 0; count <= 41; ++count) {
        std::vector<int32_t> samples(count);
        UnpackInts(bytes.data(), samples.data(), count, layout);
        for (std::size_t i = 0; i < count; ++i) {
          int64_t value = 0;
          for (int b = 0; b < layout.bytes; ++b) {
            const int from = layout.bigEndian ? b : layout.bytes - 1 - b;
            value = value * 256 + bytes[i * layout.bytes + from];
          }
          const int64_t range = int64_t{1} << (8 * layout.bytes);
          if (layout.unsignedBytes)
            value -= 128;
          else if (value >= range / 2)
            value -= range;
          ASSERT_EQ(samples[i], value) << layout.bytes << " bytes, sample " << i << " of " << count;
        }
        std::vector<unsigned char> packed(count * layout.bytes + 1, 0xA5);
        PackInts(samples.data(), packed.data(), count, layout);
        ASSERT_TRUE(std::equal(packed.begin(), packed.end() - 1, bytes.begin()));
        ASSERT_EQ(packed.back(), 0xA5) << "written past the end";
      }
    }
  }
  ResetVectorPathForTesting();
}

}  // namespace
}  // namespace wavfx
