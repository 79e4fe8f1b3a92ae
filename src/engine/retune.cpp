#include "engine/retune.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dsp/sample_buffer.h"

namespace wavfx {
namespace {

// Buffers start on 64-byte boundaries.
constexpr uint64_t kAlignment = 16;

uint64_t Rounded(uint64_t count) {
  return (count + kAlignment - 1) / kAlignment * kAlignment;
}

void Record(BufferLayout& layout, uint64_t count) {
  if (layout.count < kMaxLayoutBuffers) layout.sizes[layout.count] = count;
  ++layout.count;
}

bool SameLayout(const BufferLayout& a, const BufferLayout& b) {
  return a.count == b.count && a.count <= kMaxLayoutBuffers &&
         std::equal(a.sizes, a.sizes + a.count, b.sizes);
}

// Hands out consecutive pieces of one area and takes nothing back, so that the same sizes asked
// in the same order land at the same places.
struct AreaSource {
  SampleSource source;
  float* base;
  uint64_t capacity;
  uint64_t used;
  bool zero;
  bool overflow;
  BufferLayout layout;
};

float* TakeFromArea(SampleSource& source, uint64_t count) {
  auto& area = reinterpret_cast<AreaSource&>(source);
  Record(area.layout, count);
  const uint64_t size = Rounded(count);
  if (area.capacity - area.used < size) {
    area.overflow = true;
    return nullptr;
  }
  float* buffer = area.base + area.used;
  area.used += size;
  if (area.zero) std::memset(buffer, 0, count * sizeof(float));
  return buffer;
}

void KeepInArea(SampleSource&, float*) {}

AreaSource Area(const TunableChain& tunable, uint32_t index, bool zero) {
  float* base = tunable.memory != nullptr ? tunable.memory + index * tunable.capacity : nullptr;
  return {{&TakeFromArea, &KeepInArea}, base, tunable.capacity, 0, zero, false, {}};
}

// Counts what a stage takes from the heap.
struct CountingSource {
  SampleSource source;
  uint64_t used;
};

float* TakeCounted(SampleSource& source, uint64_t count) {
  reinterpret_cast<CountingSource&>(source).used += Rounded(count);
  return static_cast<float*>(std::calloc(count, sizeof(float)));
}

void FreeCounted(SampleSource&, float* buffer) {
  std::free(buffer);
}

void InitFrom(SampleSource& source, EffectState& state, const EffectSettings& settings,
              uint32_t channels, uint32_t sampleRate) {
  SetThreadSampleSource(&source);
  state = EffectState{};
  InitEffect(state, settings, channels, sampleRate);
  SetThreadSampleSource(nullptr);
}

uint64_t Need(const EffectSettings& settings, uint32_t channels, uint32_t sampleRate) {
  CountingSource counting{{&TakeCounted, &FreeCounted}, 0};
  EffectState state;
  InitFrom(counting.source, state, settings, channels, sampleRate);
  ReleaseEffect(state);
  return counting.used;
}

// The most the family takes at the settings or at any corner of its parameters' ranges.
uint64_t LargestNeed(const EffectSettings& settings, uint32_t channels, uint32_t sampleRate) {
  const auto parameters = ParametersOf(FamilyOf(settings.kind));
  uint64_t largest = Need(settings, channels, sampleRate);
  for (uint32_t corner = 0; corner < (1u << parameters.size()); ++corner) {
    EffectSettings values = settings;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
      values.values[i] = (corner >> i & 1u) != 0 ? parameters[i].maximum : parameters[i].minimum;
    }
    largest = std::max(largest, Need(values, channels, sampleRate));
  }
  return largest;
}

struct Lines {
  DelayLine* line[8];
  int count;
};

Lines LinesOf(EffectState& state) {
  switch (state.kind) {
    case EffectKind::Echo:
      return {{&state.echo.line}, 1};
    case EffectKind::Flanger:
      return {{&state.flanger.line}, 1};
    case EffectKind::Chorus:
      return {{&state.chorus.line}, 1};
    case EffectKind::Reverb: {
      Lines lines{{}, 8};
      for (int i = 0; i < 4; ++i) {
        lines.line[i] = &state.reverb.firstCombs[i];
        lines.line[4 + i] = &state.reverb.secondCombs[i];
      }
      return lines;
    }
    default:
      return {{}, 0};
  }
}

// What `to`, a fresh state of the kind of `from`, takes from it besides the delay lines.
void CarryRunningState(const EffectState& from, EffectState& to) {
  switch (to.kind) {
    case EffectKind::Antique:
      to.antique.memory0 = from.antique.memory0;
      to.antique.memory1 = from.antique.memory1;
      to.antique.noiseSeed = from.antique.noiseSeed;
      break;
    case EffectKind::Tremolo:
      to.tremolo.oscillator.phase = from.tremolo.oscillator.phase;
      break;
    case EffectKind::Lowpass:
    case EffectKind::Highpass:
      to.onePole.memory0 = from.onePole.memory0;
      to.onePole.memory1 = from.onePole.memory1;
      break;
    case EffectKind::Flanger:
      to.flanger.oscillator.phase = from.flanger.oscillator.phase;
      break;
    case EffectKind::Chorus:
      to.chorus.oscillator.phase = from.chorus.oscillator.phase;
      break;
    case EffectKind::Compressor:
      to.compressor.envelope = from.compressor.envelope;
      break;
    default:
      break;
  }
}

}  // namespace

bool InitTunableChain(TunableChain& tunable, const EffectSettings& settings, uint32_t channels,
                      uint32_t sampleRate) {
  tunable = TunableChain{};
  tunable.capacity = LargestNeed(settings, channels, sampleRate);
  ChainRecipe recipe{};
  recipe.count = 1;
  recipe.stages[0] = settings;
  if (tunable.capacity > 0) {
    const uint64_t bytes = 2 * tunable.capacity * sizeof(float);
    tunable.memory = static_cast<float*>(std::aligned_alloc(kAlignment * sizeof(float), bytes));
    if (tunable.memory == nullptr) return false;
    // Every page is touched here, so that none is first touched while the stage runs.
    std::memset(tunable.memory, 0, bytes);
  }
  AreaSource first = Area(tunable, 0, true);
  SetThreadSampleSource(&first.source);
  const bool initialised = InitChain(tunable.chain, recipe, channels, sampleRate);
  SetThreadSampleSource(nullptr);
  tunable.layout = first.layout;
  return initialised && !first.overflow;
}

bool RetuneChain(TunableChain& tunable, const EffectSettings& settings) {
  EffectState& stage = tunable.chain.stages[0];
  if (tunable.chain.recipe.count != 1 || settings.kind != stage.kind) return false;
  const uint32_t channels = stage.channels;
  const uint32_t rate = stage.sampleRate;
  // Laid out over the stage's own buffers without clearing them: the same sizes land at the
  // same places and keep their contents.
  EffectState fresh;
  AreaSource same = Area(tunable, tunable.area, false);
  InitFrom(same.source, fresh, settings, channels, rate);
  if (same.overflow) return false;
  if (SameLayout(same.layout, tunable.layout)) {
    const Lines from = LinesOf(stage);
    const Lines to = LinesOf(fresh);
    for (int i = 0; i < to.count; ++i)
      to.line[i]->position = from.line[i]->position;
  } else {
    const uint32_t spareArea = 1 - tunable.area;
    AreaSource spare = Area(tunable, spareArea, true);
    InitFrom(spare.source, fresh, settings, channels, rate);
    if (spare.overflow) return false;
    tunable.area = spareArea;
    tunable.layout = spare.layout;
  }
  CarryRunningState(stage, fresh);
  stage = fresh;
  tunable.chain.recipe.stages[0] = settings;
  return true;
}

void RestartChain(TunableChain& tunable) {
  EffectState& stage = tunable.chain.stages[0];
  if (tunable.chain.recipe.count != 1) return;
  AreaSource same = Area(tunable, tunable.area, true);
  InitFrom(same.source, stage, tunable.chain.recipe.stages[0], stage.channels, stage.sampleRate);
}

void ReleaseTunableChain(TunableChain& tunable) {
  AreaSource keep = Area(tunable, tunable.area, false);
  SetThreadSampleSource(&keep.source);
  ReleaseChain(tunable.chain);
  SetThreadSampleSource(nullptr);
  std::free(tunable.memory);
  tunable.memory = nullptr;
  tunable.capacity = 0;
}

}  // namespace wavfx
