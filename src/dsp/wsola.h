#pragma once

#include <cstddef>
#include <cstdint>

// Time stretch by waveform-similarity overlap-add (WSOLA), in SoX's `tempo` framing.
//
// Framing. The input is prefixed with floor(search / 2) zero frames. Segment k takes
// `segment` frames from input position s_k + p_k, where s_k = floor(factor * k * (segment -
// overlap) + 0.5) in double precision and p_k is the offset chosen below (p_0 = floor(search /
// 2)). Its first `overlap` frames are crossfaded with the last `overlap` frames of segment k - 1
// (segment 0's are copied), its middle segment - 2 overlap frames are copied, and its last
// `overlap` frames are kept for the next crossfade: each segment writes segment - overlap
// frames. Crossfade frame i: a * (1 - w) + b * w with w = float(1 / overlap) * i in single
// precision, a the kept frame, b the new one. A segment is made once the input holds
// max(ceil(factor * (segment - overlap)) + overlap, segment) + search frames from s_k; after
// the last input the input is continued by zeros. The whole output of N input frames is
// floor(N / factor + 0.5) frames, N / factor in double precision.
//
// Search. p_k minimises the sum of squared differences between the kept frames and the
// `overlap` frames at p (0 <= p < max(search, 1)), coarse to fine: the frames' channel sums are
// added in pairs into levels 1 .. L (2^L frames an entry; L the largest with rate / 2^L >= 5000
// and 2^L <= overlap / 4); level L is searched over all its positions, each finer level over the
// three positions 2b - 1, 2b, 2b + 1 around the better one above (b), and level 0 compares every
// sample of every channel. Ties keep the earliest position. A channel sum adds the channels in
// order; a level-l entry is (first half) + (second half); a sum of squares keeps 8 partial sums
// (term i in partial i mod 8), added as ((0 + 4) + (2 + 6)) + ((1 + 5) + (3 + 7)). Every
// operation is a single-precision IEEE operation in that order: the output has the same bits on
// every build and never depends on how the input is cut into calls.

namespace wavfx {

constexpr uint32_t kMaxWsolaLevels = 8;

struct Wsola {
  uint32_t channels;
  uint32_t levels;  // L
  double factor;
  std::size_t segment, search, overlap;  // frames
  std::size_t needed;                    // input frames a segment needs
  float* input;                          // capacity frames
  std::size_t capacity, start, fill;     // the queued input is input[start .. start + fill)
  float* kept;                           // the last segment's final `overlap` frames
  float* made;                           // one segment's output, segment - overlap frames
  std::size_t madeAt, madeFill;          // made[madeAt .. madeFill) is still to go out
  float* sums;                           // the levels 1 .. L of the window, then of the kept frames
  std::size_t windowAt[kMaxWsolaLevels + 1], keptAt[kMaxWsolaLevels + 1];  // where each level lies
  std::size_t windowEntries;  // level-0 frames the window's levels are built from
  uint64_t taken;             // input frames taken
  uint64_t produced;          // output frames written
  uint64_t segments;          // segments made
  uint64_t skipped;           // s_k of the next segment
};

// Frames of the settings at `rate`, as SoX counts them: segment and search round(rate * ms /
// 1000), overlap floor(rate * ms / 1000 + 4.5) at least 16, a multiple of 8 taken down, 8 less
// when twice it exceeds the segment.
struct WsolaFrames {
  std::size_t segment, search, overlap;
};
WsolaFrames WsolaFramesAt(double segmentMs, double searchMs, double overlapMs, uint32_t rate);

// The frames one channel of the stage keeps at most (its input queue).
uint64_t WsolaQueueFrames(WsolaFrames frames, double factor);

// Prepares `w`; false, with nothing to release, when memory is short. Needs
// 2 * overlap <= segment.
bool InitWsola(Wsola& w, WsolaFrames frames, double factor, uint32_t channels, uint32_t rate);

// Takes up to inFrames frames and writes up to outRoom; `consumed` and `produced` tell how many.
void RunWsola(Wsola& w, const float* in, std::size_t inFrames, float* out, std::size_t outRoom,
              std::size_t& consumed, std::size_t& produced);

// After the last input: writes up to outRoom of the frames still due and returns how many; 0 once
// the output is complete.
std::size_t DrainWsola(Wsola& w, float* out, std::size_t outRoom);

// The output frames due for `inFrames` input frames: floor(inFrames / factor + 0.5).
uint64_t WsolaLength(double factor, uint64_t inFrames);

// The output frames the input so far is due, less those written.
uint64_t WsolaLatency(const Wsola& w);

void ReleaseWsola(Wsola& w);

}  // namespace wavfx
