#include "dsp/wsola.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/sample_buffer.h"

namespace wavfx {
namespace {

// floor(x) for a count computed in double precision: 0 for NaN or below, 2^63 at most.
uint64_t WholeCount(double x) {
  if (!(x > 0.0)) return 0;
  return x < 0x1p63 ? static_cast<uint64_t>(x) : uint64_t{1} << 63;
}

// The sum of squared differences of n samples, in eight partial sums.
float SquaredDistance(const float* a, const float* b, std::size_t n) {
  float part[8] = {};
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    for (std::size_t j = 0; j < 8; ++j) {
      const float d = a[i + j] - b[i + j];
      part[j] += d * d;
    }
  }
  for (std::size_t j = 0; i < n; ++i, ++j) {
    const float d = a[i] - b[i];
    part[j] += d * d;
  }
  return ((part[0] + part[4]) + (part[2] + part[6])) + ((part[1] + part[5]) + (part[3] + part[7]));
}

float ChannelSum(const float* frame, uint32_t channels) {
  float sum = frame[0];
  for (uint32_t c = 1; c < channels; ++c)
    sum += frame[c];
  return sum;
}

// Levels 1 .. L of `frames` frames into sums + at[l], each level half the one below.
void BuildLevels(const Wsola& w, const float* frames, std::size_t count, const std::size_t* at,
                 float* sums) {
  if (w.levels == 0) return;
  float* one = sums + at[1];
  for (std::size_t j = 0; j < count / 2; ++j) {
    one[j] = ChannelSum(frames + 2 * j * w.channels, w.channels) +
             ChannelSum(frames + (2 * j + 1) * w.channels, w.channels);
  }
  for (uint32_t l = 2; l <= w.levels; ++l) {
    const float* below = sums + at[l - 1];
    float* level = sums + at[l];
    for (std::size_t j = 0; j < count >> l; ++j)
      level[j] = below[2 * j] + below[2 * j + 1];
  }
}

// The distance of the kept frames from the window's frames at p (in level-l entries).
float DistanceAt(const Wsola& w, const float* window, uint32_t level, std::size_t p) {
  if (level == 0) {
    return SquaredDistance(window + p * w.channels, w.kept, w.overlap * w.channels);
  }
  return SquaredDistance(w.sums + w.windowAt[level] + p, w.sums + w.keptAt[level],
                         w.overlap >> level);
}

// The best of positions [from, to) at `level`; the earliest on ties.
std::size_t Best(const Wsola& w, const float* window, uint32_t level, std::size_t from,
                 std::size_t to) {
  std::size_t best = from;
  float least = DistanceAt(w, window, level, from);
  for (std::size_t p = from + 1; p < to; ++p) {
    const float d = DistanceAt(w, window, level, p);
    if (d < least) least = d, best = p;
  }
  return best;
}

std::size_t BestOffset(Wsola& w, const float* window) {
  const std::size_t positions = std::max<std::size_t>(w.search, 1);
  BuildLevels(w, window, w.windowEntries, w.windowAt, w.sums);
  const auto at = [&](uint32_t l) { return (positions + (std::size_t{1} << l) - 1) >> l; };
  std::size_t best = Best(w, window, w.levels, 0, at(w.levels));
  for (uint32_t l = w.levels; l-- > 0;) {
    const std::size_t centre = 2 * best;
    best = Best(w, window, l, centre > 0 ? centre - 1 : 0, std::min(centre + 2, at(l)));
  }
  return best;
}

void MakeSegment(Wsola& w) {
  const std::size_t ch = w.channels, overlap = w.overlap;
  const float* window = w.input + w.start * ch;
  std::size_t offset = w.search / 2;
  if (w.segments == 0) {
    std::memcpy(w.made, window + offset * ch, overlap * ch * sizeof(float));
  } else {
    offset = BestOffset(w, window);
    const float step = 1.0f / static_cast<float>(overlap);
    const float* fresh = window + offset * ch;
    for (std::size_t i = 0, k = 0; i < overlap; ++i) {
      const float in = step * static_cast<float>(i);
      const float out = 1.0f - in;
      for (std::size_t c = 0; c < ch; ++c, ++k)
        w.made[k] = w.kept[k] * out + fresh[k] * in;
    }
  }
  std::memcpy(w.made + overlap * ch, window + (offset + overlap) * ch,
              (w.segment - 2 * overlap) * ch * sizeof(float));
  std::memcpy(w.kept, window + (offset + w.segment - overlap) * ch, overlap * ch * sizeof(float));
  BuildLevels(w, w.kept, overlap, w.keptAt, w.sums);
  w.madeAt = 0;
  w.madeFill = w.segment - overlap;
  ++w.segments;
  const uint64_t next =
      WholeCount(w.factor * static_cast<double>(w.segments * (w.segment - overlap)) + 0.5);
  const auto skip = static_cast<std::size_t>(std::min<uint64_t>(next - w.skipped, w.fill));
  w.skipped = next;
  w.start += skip;
  w.fill -= skip;
}

// Writes up to `room` of the segment's frames still to go out.
std::size_t Emit(Wsola& w, float* out, std::size_t room) {
  const std::size_t n = std::min(room, w.madeFill - w.madeAt);
  if (n > 0) std::memcpy(out, w.made + w.madeAt * w.channels, n * w.channels * sizeof(float));
  w.madeAt += n;
  w.produced += n;
  return n;
}

// Room for more input at the end of the queue, at least a segment's input, moving the queue to
// the front when that much is not left.
std::size_t Room(Wsola& w) {
  if (w.start + w.needed > w.capacity) {
    std::memmove(w.input, w.input + w.start * w.channels, w.fill * w.channels * sizeof(float));
    w.start = 0;
  }
  return w.capacity - w.start - w.fill;
}

}  // namespace

WsolaFrames WsolaFramesAt(double segmentMs, double searchMs, double overlapMs, uint32_t rate) {
  const double r = rate;
  WsolaFrames f{};
  f.segment = WholeCount(r * segmentMs / 1000.0 + 0.5);
  f.search = WholeCount(r * searchMs / 1000.0 + 0.5);
  f.overlap = std::max<std::size_t>(WholeCount(r * overlapMs / 1000.0 + 4.5), 16) & ~std::size_t{7};
  if (2 * f.overlap > f.segment) f.overlap -= 8;
  return f;
}

namespace {

// The input frames a segment needs.
uint64_t SegmentInput(WsolaFrames f, double factor) {
  const uint64_t skip = WholeCount(std::ceil(factor * static_cast<double>(f.segment - f.overlap)));
  return std::max<uint64_t>(skip + f.overlap, f.segment) + f.search;
}

}  // namespace

uint64_t WsolaQueueFrames(WsolaFrames f, double factor) {
  const uint64_t needed = SegmentInput(f, factor);
  return needed + std::max<uint64_t>(needed, 8192);
}

bool InitWsola(Wsola& w, WsolaFrames f, double factor, uint32_t channels, uint32_t rate) {
  w = Wsola{};
  w.channels = channels;
  w.factor = factor;
  w.segment = f.segment;
  w.search = f.search;
  w.overlap = f.overlap;
  w.needed = SegmentInput(f, factor);
  w.capacity = WsolaQueueFrames(f, factor);
  while (w.levels < kMaxWsolaLevels && (rate >> (w.levels + 1)) >= 5000 &&
         (std::size_t{4} << (w.levels + 1)) <= w.overlap)
    ++w.levels;
  w.windowEntries = std::max<std::size_t>(w.search, 1) + w.overlap + (std::size_t{2} << w.levels);
  std::size_t at = 0;
  for (uint32_t l = 1; l <= w.levels; ++l)
    w.windowAt[l] = at, at += w.windowEntries >> l;
  for (uint32_t l = 1; l <= w.levels; ++l)
    w.keptAt[l] = at, at += w.overlap >> l;
  w.input = AllocateSamples(uint64_t{w.capacity} * channels);
  w.kept = AllocateSamples(uint64_t{w.overlap} * channels);
  w.made = AllocateSamples(uint64_t{w.segment - w.overlap} * channels);
  w.sums = at > 0 ? AllocateSamples(at) : nullptr;
  if (w.input == nullptr || w.kept == nullptr || w.made == nullptr ||
      (at > 0 && w.sums == nullptr)) {
    ReleaseWsola(w);
    return false;
  }
  w.fill = w.search / 2;  // zero frames before the input
  return true;
}

void RunWsola(Wsola& w, const float* in, std::size_t inFrames, float* out, std::size_t outRoom,
              std::size_t& consumed, std::size_t& produced) {
  consumed = produced = 0;
  for (;;) {
    produced += Emit(w, out + produced * w.channels, outRoom - produced);
    if (w.madeAt < w.madeFill) return;
    if (w.fill >= w.needed) {
      MakeSegment(w);
      continue;
    }
    if (consumed == inFrames) return;
    const std::size_t take = std::min(inFrames - consumed, Room(w));
    std::memcpy(w.input + (w.start + w.fill) * w.channels, in + consumed * w.channels,
                take * w.channels * sizeof(float));
    w.fill += take;
    w.taken += take;
    consumed += take;
  }
}

std::size_t DrainWsola(Wsola& w, float* out, std::size_t outRoom) {
  const uint64_t total = WsolaLength(w.factor, w.taken);
  std::size_t written = 0;
  while (w.produced < total) {
    const auto room =
        static_cast<std::size_t>(std::min<uint64_t>(outRoom - written, total - w.produced));
    written += Emit(w, out + written * w.channels, room);
    if (w.madeAt < w.madeFill) break;
    if (w.produced == total) break;
    const std::size_t zeros = w.needed - std::min(w.fill, w.needed);
    Room(w);
    std::memset(w.input + (w.start + w.fill) * w.channels, 0, zeros * w.channels * sizeof(float));
    w.fill += zeros;
    MakeSegment(w);
  }
  return written;
}

uint64_t WsolaLength(double factor, uint64_t inFrames) {
  return WholeCount(static_cast<double>(inFrames) / factor + 0.5);
}

uint64_t WsolaLatency(const Wsola& w) {
  const uint64_t due = WsolaLength(w.factor, w.taken);
  return due > w.produced ? due - w.produced : 0;
}

void ReleaseWsola(Wsola& w) {
  FreeSamples(w.input);
  FreeSamples(w.kept);
  FreeSamples(w.made);
  FreeSamples(w.sums);
}

}  // namespace wavfx
