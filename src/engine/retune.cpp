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
  return {{&TakeFromArea, &KeepInArea, false}, base, tunable.capacity, 0, zero, false, {}};
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
              uint32_t channels, uint32_t sampleRate, void* record) {
  SetThreadSampleSource(&source);
  state = EffectState{};
  if (record != nullptr) std::memset(record, 0, FamilyOf(settings.kind).ops.stateSize);
  InitEffect(state, settings, channels, sampleRate, record);
  SetThreadSampleSource(nullptr);
}

uint64_t Need(const EffectSettings& settings, uint32_t channels, uint32_t sampleRate) {
  CountingSource counting{{&TakeCounted, &FreeCounted, true}, 0};
  EffectState state;
  InitFrom(counting.source, state, settings, channels, sampleRate, nullptr);
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
  // Two records of the family's size: the stage's, and room for the next settings'.
  const std::size_t recordBytes = (FamilyOf(settings.kind).ops.stateSize + 63) / 64 * 64;
  if (recordBytes > 0) {
    tunable.recordMemory = std::aligned_alloc(64, 2 * recordBytes);
    if (tunable.recordMemory == nullptr) return false;
    tunable.records[0] = tunable.recordMemory;
    tunable.records[1] = static_cast<unsigned char*>(tunable.recordMemory) + recordBytes;
  }
  tunable.chain.recipe = recipe;
  tunable.chain.channels = channels;
  tunable.chain.sampleRate = sampleRate;
  AreaSource first = Area(tunable, 0, true);
  InitFrom(first.source, tunable.chain.stages[0], settings, channels, sampleRate,
           tunable.records[0]);
  tunable.layout = first.layout;
  return !first.overflow;
}

bool RetuneChain(TunableChain& tunable, const EffectSettings& settings) {
  EffectState& stage = tunable.chain.stages[0];
  if (tunable.chain.recipe.count != 1 || settings.kind != stage.kind) return false;
  const uint32_t channels = stage.channels;
  const uint32_t rate = stage.sampleRate;
  void* spareRecord = tunable.records[1 - tunable.record];
  // Laid out over the stage's own buffers without clearing them: the same sizes land at the
  // same places and keep their contents.
  EffectState fresh;
  AreaSource same = Area(tunable, tunable.area, false);
  InitFrom(same.source, fresh, settings, channels, rate, spareRecord);
  if (same.overflow) return false;
  const bool sameBuffers = SameLayout(same.layout, tunable.layout);
  if (!sameBuffers) {
    const uint32_t spareArea = 1 - tunable.area;
    AreaSource spare = Area(tunable, spareArea, true);
    InitFrom(spare.source, fresh, settings, channels, rate, spareRecord);
    if (spare.overflow) return false;
    tunable.area = spareArea;
    tunable.layout = spare.layout;
  }
  const auto carry = stage.family->ops.carry;
  if (carry != nullptr && stage.record != nullptr) carry(stage.record, fresh.record, sameBuffers);
  stage = fresh;
  tunable.record = 1 - tunable.record;
  tunable.chain.recipe.stages[0] = settings;
  return true;
}

void RestartChain(TunableChain& tunable) {
  EffectState& stage = tunable.chain.stages[0];
  if (tunable.chain.recipe.count != 1) return;
  AreaSource same = Area(tunable, tunable.area, true);
  InitFrom(same.source, stage, tunable.chain.recipe.stages[0], stage.channels, stage.sampleRate,
           tunable.records[tunable.record]);
}

void ReleaseTunableChain(TunableChain& tunable) {
  AreaSource keep = Area(tunable, tunable.area, false);
  SetThreadSampleSource(&keep.source);
  ReleaseChain(tunable.chain);
  SetThreadSampleSource(nullptr);
  std::free(tunable.memory);
  std::free(tunable.recordMemory);
  tunable.memory = nullptr;
  tunable.recordMemory = nullptr;
  tunable.capacity = 0;
}

}  // namespace wavfx
