#include "dsp/resampler.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <numeric>
#include <type_traits>

#include "dsp/cleared_kernel.h"
#include "dsp/effect_math.h"
#include "dsp/resampler_tables.h"
#include "dsp/simd_dispatch.h"

namespace wavfx {

// The O phases of an interpolated table, mixed once each and shared by the resamplers of the
// same ratio. A phase goes from empty to filling to ready; a resampler that finds it being filled
// mixes its own copy. They are used once 2 O frames have gone through them, so that a short
// stream at a ratio of its own does not fill pages it would read about once.
struct MixedPhases {
  std::atomic<uint64_t> frames;  // written by the resamplers sharing them
  std::atomic<uint8_t>* states;
  void* rows;
};

namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr double kPi = 3.141592653589793;
constexpr uint64_t kMaxExactCoefficients = uint64_t{1} << 18;
constexpr std::size_t kFloatSums = 64;
constexpr std::size_t kDoubleSums = 32;

// Stopband attenuation designed for (a few dB above the promise) and the passband's end, as a
// fraction of the lower Nyquist frequency.
struct Design {
  double attenuation;
  double passband;
};

constexpr Design kDesigns[] = {{76.0, 0.70}, {106.0, 0.80}, {132.0, 0.90}, {158.0, 0.95}};

// The modified Bessel function I0 by its power series.
double BesselI0(double x) {
  const double q = x * x * 0.25;
  double term = 1.0;
  double sum = 1.0;
  for (int k = 1; k < 500 && term > sum * 1e-18; ++k) {
    term = term * q / static_cast<double>(k * k);
    sum += term;
  }
  return sum;
}

struct Kernel {
  double cutoff;  // fc, cycles per input frame
  double beta;
  double half;   // H
  double scale;  // I0(beta)
};

double KernelValue(const Kernel& kernel, double t) {
  if (!(std::fabs(t) < kernel.half)) return 0.0;
  const double x = t / kernel.half;
  const double window = BesselI0(kernel.beta * std::sqrt(1.0 - x * x)) / kernel.scale;
  const double z = 2.0 * kernel.cutoff * t;
  const double sinc = z == 0.0 ? 1.0 : SineOfPiTimes(z) / (kPi * z);
  return 2.0 * kernel.cutoff * sinc * window;
}

// The row of the phase at `offset` input frames after k, scaled to sum to 1.
template <class T>
void FillRow(const Kernel& kernel, uint32_t taps, double offset, T* row, double* scratch) {
  const auto half = static_cast<int64_t>(taps / 2);
  double sum = 0.0;
  for (uint32_t j = 0; j < taps; ++j) {
    scratch[j] =
        KernelValue(kernel, static_cast<double>(static_cast<int64_t>(j) - half + 1) - offset);
    sum += scratch[j];
  }
  for (uint32_t j = 0; j < taps; ++j) {
    row[j] = static_cast<T>(scratch[j] / sum);
  }
}

// The dot product in kSums partial sums, halved pairwise.
template <class T, std::size_t kSums>
T DotOf(const T* x, const T* c, std::size_t taps) {
  T s[kSums] = {};
  for (std::size_t i = 0; i < taps; i += kSums) {
    for (std::size_t j = 0; j < kSums; ++j) {
      s[j] = std::fma(x[i + j], c[i + j], s[j]);
    }
  }
  for (std::size_t w = kSums / 2; w >= 1; w /= 2) {
    for (std::size_t j = 0; j < w; ++j) {
      s[j] = s[j] + s[j + w];
    }
  }
  return s[0];
}

template <ResampleDotFloat kDot>
void FourDots(const float* const* x, const float* const* c, std::size_t taps, float* out) {
  for (int d = 0; d < 4; ++d)
    out[d] = kDot(x[d], c[d], taps);
}

// out = w0 row0 + w1 row1 + w2 row2 + w3 row3 for four consecutive rows, in that order. Taps are a
// multiple of 64: runs of 64 that compilers turn into vector code of the same bits.
template <class T>
void MixRows(const T* __restrict rows, std::size_t taps, const T* w, T* __restrict out) {
  const T w0 = w[0], w1 = w[1], w2 = w[2], w3 = w[3];
  for (std::size_t k = 0; k < taps; k += 64) {
    const T* r0 = rows + k;
    const T* r1 = r0 + taps;
    const T* r2 = r1 + taps;
    const T* r3 = r2 + taps;
    T* o = out + k;
    for (std::size_t j = 0; j < 64; ++j)
      o[j] = ((w0 * r0[j] + w1 * r1[j]) + w2 * r2[j]) + w3 * r3[j];
  }
}

void PhaseDots(const float* const* x, const std::size_t* slots, std::size_t count, const float* c,
               std::size_t taps, float* out) {
  for (std::size_t i = 0; i < count; ++i)
    out[slots[i]] = DotOf<float, kFloatSums>(x[i], c, taps);
}

void ChooseDots(Resampler& r) {
  r.phaseFloat = PhaseDots;
  r.dot4Float = FourDots<DotOf<float, kFloatSums>>;
  r.dotFloat = DotOf<float, kFloatSums>;
  r.dotDouble = DotOf<double, kDoubleSums>;
  r.mixFloat = MixRows<float>;
#if defined(__x86_64__)
  switch (ActiveVectorPath()) {
    case VectorPath::Scalar:
      break;
    case VectorPath::Avx2:
      r.dotFloat = Cleared<ResampleDotFloatAvx2>::Call;
      r.dotDouble = Cleared<ResampleDotDoubleAvx2>::Call;
      r.dot4Float = Cleared<ResampleDot4FloatAvx2>::Call;
      r.phaseFloat = Cleared<ResamplePhaseFloatAvx2>::Call;
      r.mixDotFloat = Cleared<ResampleMixDotFloatAvx2>::Call;
      break;
    case VectorPath::Avx512:
      r.dotFloat = Cleared<ResampleDotFloatAvx512>::Call;
      r.dotDouble = Cleared<ResampleDotDoubleAvx512>::Call;
      r.dot4Float = Cleared<ResampleDot4FloatAvx512>::Call;
      r.phaseFloat = Cleared<ResamplePhaseFloatAvx512>::Call;
      r.mixDotFloat = Cleared<ResampleMixDotFloatAvx512>::Call;
      break;
  }
#endif
  if (const VectorKernels* kernels = ActiveKernels()) r.mixFloat = kernels->mixRows;
}

// Where an output frame's phase lies in an interpolated table: r * P = row * O + part, the phase
// between table rows row + 1 and row + 2 (rows hold phases (i - 1) / P).
struct TablePlace {
  uint64_t row;
  uint64_t part;
};

TablePlace PlaceOf(const Resampler& r, uint64_t remainder) {
  const uint64_t scaled = remainder * r.tablePhases;
  return {scaled / r.outStep, scaled % r.outStep};
}

// The coefficients of the phase at `place` of an interpolated table, into out.
template <class T>
void MixPhase(const Resampler& r, TablePlace place, T* out) {
  T w[4];
  ResampleWeights(place.part, r.outStep, w);
  const T* rows = static_cast<const T*>(r.table) + place.row * r.taps;
  if constexpr (std::is_same_v<T, float>) {
    r.mixFloat(rows, r.taps, w, out);
  } else {
    MixRows(rows, r.taps, w, out);
  }
}

// The coefficients of the next output frame's phase.
template <class T>
const T* Phase(const Resampler& r, TablePlace place, std::size_t slot) {
  if (!r.interpolated) return static_cast<const T*>(r.table) + r.remainder * r.taps;
  T* out = static_cast<T*>(r.scratch) + slot * r.taps;
  MixPhase(r, place, out);
  return out;
}

constexpr uint8_t kEmptyPhase = 0, kFillingPhase = 1, kReadyPhase = 2;
constexpr uint64_t kMostMixedBytes = uint64_t{8} << 20;
constexpr uint64_t kMixAfterPhases = 2;

bool MixedInUse(const Resampler& r) {
  return r.mixed != nullptr &&
         r.mixed->frames.load(std::memory_order_relaxed) >= kMixAfterPhases * r.outStep;
}

// The coefficients of phase `remainder`, from the shared mixed phases (or, while another
// resampler fills them, mixed into scratch slot `slot`).
template <class T>
const T* MixedPhase(const Resampler& r, uint64_t remainder, std::size_t slot) {
  MixedPhases& mixed = *r.mixed;
  T* row = static_cast<T*>(mixed.rows) + remainder * r.taps;
  std::atomic<uint8_t>& state = mixed.states[remainder];
  if (state.load(std::memory_order_acquire) == kReadyPhase) return row;
  uint8_t empty = kEmptyPhase;
  const bool mine = state.compare_exchange_strong(empty, kFillingPhase, std::memory_order_acquire);
  T* out = mine ? row : static_cast<T*>(r.scratch) + slot * r.taps;
  MixPhase(r, PlaceOf(r, remainder), out);
  if (mine) state.store(kReadyPhase, std::memory_order_release);
  return out;
}

// Moves (whole, remainder) on to the next output frame's k and r.
void Advance(const Resampler& r, uint64_t& whole, uint64_t& remainder) {
  whole += r.wholeStep;
  remainder += r.remainderStep;
  if (remainder >= r.outStep) {
    remainder -= r.outStep;
    ++whole;
  }
}

// The most dot products gathered before they are computed.
constexpr std::size_t kBatch = 64;

// Dot products of the history at x with the phases c into frame, channel by channel.
void Dots(const Resampler& r, const double* const* x, const double* const* c, std::size_t count,
          float* out) {
  count = std::min(count, kBatch);
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<float>(r.dotDouble(x[i], c[i], r.taps));
  }
}

void Dots(const Resampler& r, const float* const* x, const float* const* c, std::size_t count,
          float* out) {
  const std::size_t fours = std::min(count, kBatch) / 4 * 4;
  for (std::size_t i = 0; i < fours; i += 4) {
    r.dot4Float(x + i, c + i, r.taps, out + i);
  }
  for (std::size_t i = fours; i < std::min(count, kBatch); ++i) {
    out[i] = r.dotFloat(x[i], c[i], r.taps);
  }
}

// Dot products of the history at x[0 .. count) with one phase c into out at slots[0 .. count).
void SharedDots(const Resampler& r, const double* const* x, const double* c,
                const std::size_t* slots, std::size_t count, float* out) {
  for (std::size_t i = 0; i < count; ++i) {
    out[slots[i]] = static_cast<float>(r.dotDouble(x[i], c, r.taps));
  }
}

void SharedDots(const Resampler& r, const float* const* x, const float* c, const std::size_t* slots,
                std::size_t count, float* out) {
  r.phaseFloat(x, slots, count, c, r.taps, out);
}

// The frames of the output the history allows, up to outRoom: for ProduceByPhase and ProduceByRow.
std::size_t DueFrames(const Resampler& r, std::size_t outRoom) {
  const uint64_t end = r.origin + r.fill;
  if (outRoom == 0 || r.whole + r.taps > end) return 0;
  // Frames whose k lies in [whole, end - 2H].
  const Wide span = Wide{end - r.taps - r.whole + 1} * r.outStep - r.remainder;
  return static_cast<std::size_t>(std::min<Wide>(outRoom, (span + r.inStep - 1) / r.inStep));
}

// Writes the output frames that the history allows, up to outRoom, phase by phase: frames n and
// n + O share a phase and lie I input frames apart, so each row is read once for all of them.
template <class T>
std::size_t ProduceByPhase(Resampler& r, float* out, std::size_t outRoom) {
  const std::size_t due = DueFrames(r, outRoom);
  const T* history = static_cast<const T*>(r.history);
  const T* table = static_cast<const T*>(r.table);
  const std::size_t channels = r.channels;
  const T* xs[kBatch];
  std::size_t slots[kBatch];
  uint64_t whole = r.whole;
  uint64_t remainder = r.remainder;
  for (std::size_t m = 0; m < std::min<uint64_t>(due, r.outStep); ++m) {
    const T* c = table + remainder * r.taps;
    std::size_t jobs = 0;
    std::size_t at = static_cast<std::size_t>(whole - r.origin);
    for (std::size_t n = m; n < due; n += r.outStep, at += r.inStep) {
      for (std::size_t ch = 0; ch < channels; ++ch) {
        xs[jobs] = history + at + ch * r.capacity;
        slots[jobs] = n * channels + ch;
        if (++jobs == kBatch) {
          SharedDots(r, xs, c, slots, jobs, out);
          jobs = 0;
        }
      }
    }
    SharedDots(r, xs, c, slots, jobs, out);
    Advance(r, whole, remainder);
  }
  const Wide moved = Wide{r.remainder} + Wide{due} * r.inStep;
  r.whole += static_cast<uint64_t>(moved / r.outStep);
  r.remainder = static_cast<uint64_t>(moved % r.outStep);
  r.produced += due;
  return due;
}

// Moves `place` on with Advance, given the step's place and whether the remainder wrapped.
void AdvancePlace(const Resampler& r, TablePlace step, bool wrapped, TablePlace& place) {
  place.row += step.row;
  place.part += step.part;
  if (place.part >= r.outStep) {
    place.part -= r.outStep;
    ++place.row;
  }
  if (wrapped) place.row -= r.tablePhases;
}

// Output frames ordered by table row at a time, and the most rows an interpolated table starts
// a phase at (P).
constexpr std::size_t kRowOrderFrames = 1024;
constexpr std::size_t kMostRows = 256;

// Writes the output frames that the history allows, up to outRoom, from interpolated phases
// mixed as the dot products go: the frames of a stretch in the order of their table rows.
std::size_t ProduceByRow(Resampler& r, float* out, std::size_t outRoom) {
  const std::size_t due = DueFrames(r, outRoom);
  const auto* history = static_cast<const float*>(r.history);
  const auto* table = static_cast<const float*>(r.table);
  const std::size_t channels = r.channels;
  const TablePlace step = PlaceOf(r, r.remainderStep);
  TablePlace place = PlaceOf(r, r.remainder);
  std::size_t at[kRowOrderFrames];
  uint64_t part[kRowOrderFrames];
  uint32_t row[kRowOrderFrames];
  uint32_t order[kRowOrderFrames];
  uint32_t starts[kMostRows + 1];
  for (std::size_t first = 0; first < due; first += kRowOrderFrames) {
    const std::size_t count = std::min(kRowOrderFrames, due - first);
    std::fill_n(starts, r.tablePhases + 1, 0u);
    for (std::size_t i = 0; i < count; ++i) {
      at[i] = static_cast<std::size_t>(r.whole - r.origin);
      part[i] = place.part;
      row[i] = static_cast<uint32_t>(place.row);
      ++starts[row[i] + 1];
      const uint64_t before = r.remainder;
      Advance(r, r.whole, r.remainder);
      AdvancePlace(r, step, r.remainder < before + r.remainderStep, place);
    }
    for (std::size_t p = 0; p < r.tablePhases; ++p)
      starts[p + 1] += starts[p];
    for (std::size_t i = 0; i < count; ++i)
      order[starts[row[i]]++] = static_cast<uint32_t>(i);
    const float* xs[kBatch];
    const float* rows[kBatch];
    uint64_t parts[kBatch];
    std::size_t slots[kBatch];
    std::size_t jobs = 0;
    for (std::size_t o = 0; o < count; ++o) {
      const std::size_t i = order[o];
      for (std::size_t ch = 0; ch < channels; ++ch) {
        xs[jobs] = history + at[i] + ch * r.capacity;
        rows[jobs] = table + row[i] * r.taps;
        parts[jobs] = part[i];
        slots[jobs] = (first + i) * channels + ch;
        if (++jobs == 4 || (o + 1 == count && ch + 1 == channels)) {
          r.mixDotFloat(xs, rows, parts, r.outStep, jobs, r.taps, slots, out);
          jobs = 0;
        }
      }
    }
  }
  r.produced += due;
  return due;
}

// Writes the output frames that the history allows, up to outRoom, a group at a time, from
// interpolated phases: the shared mixed ones, or each mixed for its frame.
template <class T>
std::size_t ProduceByFrame(Resampler& r, float* out, std::size_t outRoom, bool mixed) {
  const T* history = static_cast<const T*>(r.history);
  const T* xs[kBatch];
  const T* cs[kBatch];
  const TablePlace step = PlaceOf(r, r.remainderStep);
  TablePlace place = PlaceOf(r, r.remainder);
  std::size_t n = 0;
  while (n < outRoom && r.whole + r.taps <= r.origin + r.fill) {
    std::size_t frames = 0;
    std::size_t jobs = 0;
    while (frames < kResampleGroupFrames && n + frames < outRoom &&
           r.whole + r.taps <= r.origin + r.fill && (jobs == 0 || jobs + r.channels <= kBatch)) {
      const T* c = mixed ? MixedPhase<T>(r, r.remainder, frames) : Phase<T>(r, place, frames);
      const T* x = history + (r.whole - r.origin);
      for (uint32_t ch = 0; ch < r.channels; ++ch) {
        xs[jobs] = x + ch * r.capacity;
        cs[jobs] = c;
        if (++jobs == kBatch) {
          Dots(r, xs, cs, jobs, out + n * r.channels + frames * r.channels + ch + 1 - jobs);
          jobs = 0;
        }
      }
      const uint64_t before = r.remainder;
      Advance(r, r.whole, r.remainder);
      AdvancePlace(r, step, r.remainder < before + r.remainderStep, place);
      ++frames;
    }
    Dots(r, xs, cs, jobs, out + (n + frames) * r.channels - jobs);
    n += frames;
  }
  r.produced += n;
  return n;
}

// From this many channels a frame's interpolated phase is mixed once for all of them rather than
// in registers for each.
constexpr uint32_t kMixOnceChannels = 3;

// Writes the output frames that the history allows, up to outRoom.
template <class T>
std::size_t Produce(Resampler& r, float* out, std::size_t outRoom) {
  if (!r.interpolated) return ProduceByPhase<T>(r, out, outRoom);
  const bool mixed = MixedInUse(r);
  bool byRow = false;
  if constexpr (std::is_same_v<T, float>)
    byRow = !mixed && r.mixDotFloat != nullptr && r.channels < kMixOnceChannels;
  const std::size_t n =
      byRow ? ProduceByRow(r, out, outRoom) : ProduceByFrame<T>(r, out, outRoom, mixed);
  if (r.mixed != nullptr) r.mixed->frames.fetch_add(n, std::memory_order_relaxed);
  return n;
}

// Drops the frames before the next output frame's first.
template <class T>
void Compact(Resampler& r) {
  const std::size_t drop = static_cast<std::size_t>(r.whole - r.origin);
  if (drop == 0) return;
  T* history = static_cast<T*>(r.history);
  for (uint32_t ch = 0; ch < r.channels; ++ch) {
    T* line = history + ch * r.capacity;
    std::memmove(line, line + drop, (r.fill - drop) * sizeof(T));
  }
  r.origin += drop;
  r.fill -= drop;
}

// Room for more frames in the history, compacting it when full.
template <class T>
std::size_t Room(Resampler& r) {
  if (r.fill == r.capacity) Compact<T>(r);
  return r.capacity - r.fill;
}

template <class T>
void Append(Resampler& r, const float* in, std::size_t frames) {
  T* history = static_cast<T*>(r.history) + r.fill;
  if (r.channels == 2) {
    T* left = history;
    T* right = history + r.capacity;
    for (std::size_t i = 0; i < frames; ++i) {
      left[i] = static_cast<T>(in[2 * i]);
      right[i] = static_cast<T>(in[2 * i + 1]);
    }
  } else {
    for (uint32_t ch = 0; ch < r.channels; ++ch) {
      T* line = history + ch * r.capacity;
      const float* from = in + ch;
      for (std::size_t i = 0; i < frames; ++i) {
        line[i] = static_cast<T>(from[i * r.channels]);
      }
    }
  }
  r.fill += frames;
}

template <class T>
void AppendZeros(Resampler& r, std::size_t frames) {
  T* history = static_cast<T*>(r.history) + r.fill;
  for (uint32_t ch = 0; ch < r.channels; ++ch) {
    std::fill_n(history + ch * r.capacity, frames, T(0));
  }
  r.fill += frames;
}

// Moves the decimator's outputs that the history has room for into it; returns how many.
std::size_t Decimate(Resampler& r) {
  const std::size_t room = Room<float>(r);
  const std::size_t made =
      RunHalfBand(r.half, static_cast<float*>(r.history) + r.fill, r.capacity, room);
  r.fill += made;
  return made;
}

template <class T>
void Run(Resampler& r, const float* in, std::size_t inFrames, float* out, std::size_t outRoom,
         std::size_t& consumed, std::size_t& produced) {
  consumed = 0;
  produced = 0;
  const bool decimating = r.half.pairs != 0;
  for (;;) {
    produced += Produce<T>(r, out + produced * r.channels, outRoom - produced);
    if (decimating && Decimate(r) > 0) continue;
    if (consumed == inFrames) break;
    const std::size_t room = decimating ? HalfBandRoom(r.half) : Room<T>(r);
    const std::size_t take = std::min(room, inFrames - consumed);
    if (take == 0) break;
    if (decimating) {
      AppendToHalfBand(r.half, in + consumed * r.channels, take);
    } else {
      Append<T>(r, in + consumed * r.channels, take);
    }
    consumed += take;
  }
  r.consumed += consumed;
}

template <class T>
std::size_t Drain(Resampler& r, float* out, std::size_t outRoom) {
  const uint64_t due =
      ResampledLength(r, r.consumed) - std::min(r.produced, ResampledLength(r, r.consumed));
  const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(outRoom, due));
  std::size_t n = 0;
  for (;;) {
    n += Produce<T>(r, out + n * r.channels, want - n);
    if (n == want) break;
    if (r.half.pairs == 0) {
      AppendZeros<T>(r, Room<T>(r));
    } else if (Decimate(r) == 0) {
      AppendToHalfBand(r.half, nullptr, HalfBandRoom(r.half));
    }
  }
  return n;
}

// Tables and history lines start on cache lines, so that phase rows never straddle two.
constexpr std::align_val_t kAlignment{64};

template <class T>
T* NewValues(std::size_t count) {
  return static_cast<T*>(::operator new[](count * sizeof(T), kAlignment, std::nothrow));
}

void FreeValues(void* values) {
  if (values != nullptr) ::operator delete[](values, kAlignment);
}

template <class T>
void* NewMixedPhases(uint64_t phases, std::size_t taps) {
  auto* mixed = new (std::nothrow) MixedPhases{};
  auto* states = new (std::nothrow) std::atomic<uint8_t>[phases]();
  T* rows = NewValues<T>(phases * taps);
  if (mixed == nullptr || states == nullptr || rows == nullptr) {
    delete mixed;
    delete[] states;
    FreeValues(rows);
    return nullptr;
  }
  mixed->states = states;
  mixed->rows = rows;
  return mixed;
}

void FreeMixedPhases(void* phases) {
  auto* mixed = static_cast<MixedPhases*>(phases);
  delete[] mixed->states;
  FreeValues(mixed->rows);
  delete mixed;
}

// The table of every phase row, or null when memory is short.
template <class T>
void* MakeTable(const Resampler& r, const Kernel& kernel) {
  T* table = NewValues<T>(r.rows * r.taps);
  double* values = NewValues<double>(r.taps);
  if (table != nullptr && values != nullptr) {
    for (uint64_t i = 0; i < r.rows; ++i) {
      const double offset =
          r.interpolated ? (static_cast<double>(i) - 1.0) / static_cast<double>(r.tablePhases)
                         : static_cast<double>(i) / static_cast<double>(r.outStep);
      FillRow(kernel, r.taps, offset, table + i * r.taps, values);
    }
  } else {
    FreeValues(table);
    table = nullptr;
  }
  FreeValues(values);
  return table;
}

template <class T>
bool Allocate(Resampler& r, const Kernel& kernel, std::size_t historyValues, int32_t quality) {
  const void* table = AcquireResamplerTable(
      {r.interpolated ? r.tablePhases : r.outStep, r.interpolated, false, r.taps, kernel.cutoff,
       quality},
      [&] { return MakeTable<T>(r, kernel); }, FreeValues);
  // Shared and filled as they are used, the mixed phases are the one table that changes.
  if (r.interpolated && r.outStep * r.taps * sizeof(T) <= kMostMixedBytes) {
    r.mixed = static_cast<MixedPhases*>(const_cast<void*>(AcquireResamplerTable(
        {r.outStep, true, true, r.taps, kernel.cutoff, quality},
        [&] { return NewMixedPhases<T>(r.outStep, r.taps); }, FreeMixedPhases)));
  }
  T* scratch = NewValues<T>(kResampleGroupFrames * r.taps);
  T* history = NewValues<T>(historyValues);
  if (table == nullptr || scratch == nullptr || history == nullptr) {
    ReleaseResamplerTable(table);
    ReleaseResamplerTable(r.mixed);
    r.mixed = nullptr;
    FreeValues(scratch);
    FreeValues(history);
    return false;
  }
  r.table = table;
  r.scratch = scratch;
  r.history = history;
  return true;
}

double KaiserBeta(double attenuation) {
  return 0.1102 * (attenuation - 8.7);
}

struct PolyphaseDesign {
  uint64_t taps;   // 2H
  double nyquist;  // the lower Nyquist frequency, cycles per input frame
};

PolyphaseDesign DesignPolyphase(uint64_t in, uint64_t out, double sharpness, const Design& design) {
  const double nyquist = out < in ? 0.5 * static_cast<double>(out) / static_cast<double>(in) : 0.5;
  const double length = sharpness / ((1.0 - design.passband) * nyquist) + 1.0;
  return {static_cast<uint64_t>(std::ceil(length / 64.0)) * 64, nyquist};
}

// Attenuation the decimator is designed for beyond the polyphase stage's, in dB.
constexpr double kHalfBandMargin = 10.0;

// P of the half-band decimator ahead of a conversion from in to out (reduced rates), or 0 where
// one polyphase stage takes fewer multiply-adds an output frame.
std::size_t HalfBandPairs(uint64_t in, uint64_t out, double sharpness, const Design& design) {
  if (2 * out >= in) return 0;
  // The transition band's half width about a quarter of the input rate.
  const double delta = 0.25 - 0.5 * static_cast<double>(out) / static_cast<double>(in);
  const double halfSharpness =
      sharpness * (design.attenuation + kHalfBandMargin - 7.95) / (design.attenuation - 7.95);
  const auto outer = static_cast<uint64_t>(std::ceil(halfSharpness / (4.0 * delta)));
  const uint64_t pairs = outer / 2 + 1;
  const uint64_t g = std::gcd(in, 2 * out);
  const double oneStage = static_cast<double>(DesignPolyphase(in, out, sharpness, design).taps);
  const double twoStages =
      static_cast<double>(DesignPolyphase(in / g, 2 * out / g, sharpness, design).taps) +
      static_cast<double>(2 * pairs) * static_cast<double>(in) / static_cast<double>(2 * out);
  return twoStages < oneStage ? static_cast<std::size_t>(pairs) : 0;
}

// The decimator's taps at 1, 3, ... 2P - 1 frames from the centre, each side summing to 1/4.
void FillHalfBand(HalfBand& b, const Design& design) {
  Kernel kernel{};
  kernel.cutoff = 0.25;
  kernel.half = static_cast<double>(2 * b.pairs);
  kernel.beta = KaiserBeta(design.attenuation + kHalfBandMargin);
  kernel.scale = BesselI0(kernel.beta);
  const auto tap = [&](std::size_t k) {
    return KernelValue(kernel, static_cast<double>(2 * k + 1));
  };
  double sum = 0.0;
  for (std::size_t k = 0; k < b.pairs; ++k)
    sum += tap(k);
  for (std::size_t k = 0; k < b.pairs; ++k)
    b.h[k] = static_cast<float>(tap(k) * (0.25 / sum));
}

}  // namespace

uint64_t ResampledLength(const Resampler& r, uint64_t inFrames) {
  const Wide twice = Wide{2} * inFrames * r.lengthOut + r.lengthIn;
  return static_cast<uint64_t>(twice / (Wide{2} * r.lengthIn));
}

bool InitResampler(Resampler& r, uint64_t inRate, uint64_t outRate, uint32_t channels,
                   ResampleQuality q) {
  r = Resampler{};
  const auto level = static_cast<int32_t>(q);
  if (inRate == 0 || outRate == 0 || channels == 0 || channels > 65535 || level < 0 || level > 3) {
    return false;
  }
  const uint64_t g = std::gcd(inRate, outRate);
  uint64_t in = inRate / g;
  uint64_t out = outRate / g;
  if (in >= kMaxReducedRate || out >= kMaxReducedRate || out > in * kMaxResampleFactor ||
      in > out * kMaxResampleFactor) {
    return false;
  }
  const Design design = kDesigns[level];
  const double sharpness = (design.attenuation - 7.95) / (2.285 * 2.0 * kPi);
  const bool wide = q == ResampleQuality::VeryHigh;
  const std::size_t pairs = wide ? 0 : HalfBandPairs(in, out, sharpness, design);
  r.lengthIn = in;
  r.lengthOut = out;
  r.inStep = pairs == 0 ? in : in / std::gcd(in, 2 * out);
  r.outStep = pairs == 0 ? out : 2 * out / std::gcd(in, 2 * out);
  const PolyphaseDesign stage = DesignPolyphase(r.inStep, r.outStep, sharpness, design);
  const uint64_t taps = stage.taps;
  const double nyquist = stage.nyquist;
  Kernel kernel{};
  kernel.half = static_cast<double>(taps / 2);
  kernel.beta = KaiserBeta(design.attenuation);
  kernel.scale = BesselI0(kernel.beta);
  kernel.cutoff = nyquist - 0.5 * sharpness / static_cast<double>(taps - 1);

  in = r.inStep;
  out = r.outStep;
  r.wholeStep = in / out;
  r.remainderStep = in % out;
  r.channels = channels;
  r.wide = wide;
  r.taps = static_cast<uint32_t>(taps);
  r.interpolated = out * taps > kMaxExactCoefficients;
  r.tablePhases = std::max<uint64_t>(16, static_cast<uint64_t>(std::ceil(512.0 * nyquist)));
  r.rows = r.interpolated ? r.tablePhases + 3 : out;
  const std::size_t block =
      std::max<std::size_t>(std::clamp<std::size_t>((1u << 20) / channels, 256, 4096), taps);
  r.capacity = (taps + block + 15) / 16 * 16;
  const std::size_t historyValues = r.capacity * channels;
  const bool allocated = r.wide ? Allocate<double>(r, kernel, historyValues, level)
                                : Allocate<float>(r, kernel, historyValues, level);
  if (!allocated || (pairs != 0 && !InitHalfBand(r.half, pairs, channels, block))) {
    ReleaseResampler(r);
    return false;
  }
  if (pairs != 0) FillHalfBand(r.half, design);
  ChooseDots(r);
  ResetResampler(r);
  return true;
}

void RunResampler(Resampler& r, const float* in, std::size_t inFrames, float* out,
                  std::size_t outRoom, std::size_t& consumed, std::size_t& produced) {
  if (r.wide) {
    Run<double>(r, in, inFrames, out, outRoom, consumed, produced);
  } else {
    Run<float>(r, in, inFrames, out, outRoom, consumed, produced);
  }
}

std::size_t DrainResampler(Resampler& r, float* out, std::size_t outRoom) {
  return r.wide ? Drain<double>(r, out, outRoom) : Drain<float>(r, out, outRoom);
}

void ResetResampler(Resampler& r) {
  if (r.half.pairs != 0) ResetHalfBand(r.half);
  r.origin = 0;
  r.fill = 0;
  r.consumed = 0;
  r.produced = 0;
  r.whole = 0;
  r.remainder = 0;
  if (r.wide) {
    AppendZeros<double>(r, r.taps / 2 - 1);
  } else {
    AppendZeros<float>(r, r.taps / 2 - 1);
  }
}

uint64_t ResamplerLatency(const Resampler& r) {
  const uint64_t due = ResampledLength(r, r.consumed);
  const uint64_t half = r.taps / 2;
  const uint64_t taken = r.half.pairs != 0 ? HalfBandOutputsFor(r.half, r.consumed) : r.consumed;
  if (taken <= half) return due;
  const Wide scaled = Wide{taken - half} * r.outStep;
  const auto allowed = static_cast<uint64_t>((scaled + r.inStep - 1) / r.inStep);
  return due > allowed ? due - allowed : 0;
}

void ReleaseResampler(Resampler& r) {
  ReleaseHalfBand(r.half);
  ReleaseResamplerTable(r.table);
  ReleaseResamplerTable(r.mixed);
  FreeValues(r.scratch);
  FreeValues(r.history);
  r = Resampler{};
}

}  // namespace wavfx
