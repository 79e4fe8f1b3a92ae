#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "measure/k_weighting.h"

namespace wavfx {

// Loudness after ITU-R BS.1770 and EBU R128 / Tech 3342, fed with samples in full scale -1..1.
// Each channel is K-weighted in double precision (transposed direct form II, the shelf then the
// high-pass) and its squares summed in order over sub-blocks of 100 ms: sub-block k holds frames
// floor(k * rate / 10) up to floor((k + 1) * rate / 10). A sub-block's energy is the sum over
// channels, in their order, of the channel's weight times its sum of squares. The momentary
// mean square of 400 ms is the sum of the last 4 sub-blocks' energies (oldest first) over their
// frames, the short-term one of 3 s that of the last 30; both are taken after every complete
// sub-block once enough have passed, and a partial sub-block at the end counts for nothing.
// Loudness is -0.691 + 10 log10(mean square) LUFS.
struct LoudnessMeter {
  uint32_t channels = 0;
  uint32_t sampleRate = 0;
  KWeighting filter{};
  std::vector<double> weights;   // per channel: 1, 1.41 for surrounds, 0 for the LFE
  std::vector<double> memories;  // four per channel: the shelf's two, the high-pass's two
  std::vector<double> squares;   // per channel, in the running sub-block
  uint64_t subBlocks = 0;        // completed
  uint64_t subBlockFrames = 0;   // frames of the running sub-block so far
  uint64_t subBlockLength = 0;   // frames the running sub-block takes
  static constexpr std::size_t kShortTermSubBlocks = 30;
  std::array<double, kShortTermSubBlocks> recentEnergy{};  // the last sub-blocks, circular
  std::array<uint64_t, kShortTermSubBlocks> recentFrames{};
  std::vector<double> momentary;  // every 100 ms, mean squares of 400 ms
  std::vector<double> shortTerm;  // every 100 ms, mean squares of 3 s
};

// Weights from channel roles when the caller has none: 1 for every channel, except five or six
// channels, read in the WAV order L R C LFE Ls Rs (five: L R C Ls Rs), where the LFE weighs 0 and
// the surrounds 1.41.
std::vector<double> DefaultLoudnessWeights(uint32_t channels);

void InitLoudness(LoudnessMeter& meter, uint32_t channels, uint32_t sampleRate,
                  std::vector<double> weights);

// Two channels side by side (GCC's and Clang's vector extension), each lane the scalar
// arithmetic.
using ChannelPair = double __attribute__((vector_size(16)));

// The caller feeds the samples, finite, a frame at a time: every channel, in pairs (c and c + 1;
// the last of an odd count in both lanes, the first kept), through a run of at most LoudnessRoom
// frames, then AdvanceLoudness. Each value's operations are the scalar ones, in order, whatever
// the caller does between them.
struct WeighingPair {
  ChannelPair memory[4];  // the shelf's two, the high-pass's two
  ChannelPair squares;
};

WeighingPair StartWeighing(const LoudnessMeter& meter, uint32_t c);
void EndWeighing(LoudnessMeter& meter, uint32_t c, const WeighingPair& pair);

template <class T>
T FilterSample(const Biquad& f, T x, T* memory) {
  const T y = f.b0 * x + memory[0];
  memory[0] = f.b1 * x - f.a1 * y + memory[1];
  memory[1] = f.b2 * x - f.a2 * y;
  return y;
}

inline void Weigh(const KWeighting& k, WeighingPair& pair, ChannelPair x) {
  const ChannelPair u = FilterSample(k.shelf, x, pair.memory);
  // The high-pass (FilterSample) with its numerator 1, -2, 1 written out: the products are exact.
  ChannelPair* memory = pair.memory + 2;
  const ChannelPair y = u + memory[0];
  memory[0] = -(u + u) - k.highpass.a1 * y + memory[1];
  memory[1] = u - k.highpass.a2 * y;
  pair.squares += y * y;
}

// Frames left in the running sub-block.
std::size_t LoudnessRoom(const LoudnessMeter& meter);
// Every channel has weighed `frames` more frames.
void AdvanceLoudness(LoudnessMeter& meter, std::size_t frames);

struct LoudnessSummary {
  double integrated;    // LUFS; -inf when no block passes the gates
  double momentaryMax;  // LUFS; -inf before the first 400 ms block
  double shortTermMax;  // LUFS; -inf before the first 3 s
  double range;         // LU (Tech 3342); 0 with fewer than two gated short-term values
};

// Integrated loudness gates the momentary blocks at -70 LUFS and then 10 LU below the mean of the
// blocks that passed (means of mean squares, summed in order); the loudness range gates the
// short-term values at -70 LUFS and 20 LU below their mean, and is the 95th minus the 10th
// percentile of the rest (sorted, the value at round((n - 1) p)).
LoudnessSummary SummariseLoudness(const LoudnessMeter& meter);

double LoudnessOf(double meanSquare);

}  // namespace wavfx
