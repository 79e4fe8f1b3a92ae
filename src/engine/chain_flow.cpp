#include "engine/chain_flow.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

#include "dsp/pcm_conversion.h"
#include "dsp/sample_conversion.h"

namespace wavfx {
namespace {

// Samples converted at a time on either side of a chain.
constexpr std::size_t kScratchSamples = 4096;

std::size_t ScratchFrames(std::size_t channels) {
  return std::max<std::size_t>(kScratchSamples / std::max<std::size_t>(channels, 1), 1);
}

// How samples of one type enter the chain as floats and leave it.
void ToFloats(const float* in, float* out, std::size_t count) {
  std::memcpy(out, in, count * sizeof(float));
  ZeroNonFinite(out, count);
}
void ToFloats(const int16_t* in, float* out, std::size_t count) {
  SamplesToFloats(in, out, count);
}
void ToFloats(const int32_t* in, float* out, std::size_t count) {
  IntsToFloats(in, out, count, 32);
}
void FromFloats(const float* in, float* out, std::size_t count) {
  std::memcpy(out, in, count * sizeof(float));
}
void FromFloats(const float* in, int16_t* out, std::size_t count) {
  FloatsToSamples(in, out, count);
}
void FromFloats(const float* in, int32_t* out, std::size_t count) {
  FloatsToInts(in, out, count, 32);
}

// Samples a queue holds at most (of 8 bytes each: 128 KiB), and frames at least.
constexpr std::size_t kQueueSamples = 16384;
constexpr std::size_t kMinQueueFrames = 16;

bool IsReshaping(const EffectState& stage) {
  return stage.family != nullptr && Reshapes(*stage.family) && !stage.inPlace;
}

std::size_t FrameBytes(const StageQueue& queue, std::size_t sampleBytes) {
  return queue.channels * sampleBytes;
}

unsigned char* FrameAt(StageQueue& queue, std::size_t frame, std::size_t sampleBytes) {
  return queue.data + frame * FrameBytes(queue, sampleBytes);
}

void Pop(StageQueue& queue, std::size_t frames) {
  queue.begin += frames;
  queue.count -= frames;
  if (queue.count == 0) queue.begin = 0;
}

// Room at the queue's tail; the frames held move to the front when less than half is left.
std::size_t Room(StageQueue& queue, std::size_t sampleBytes) {
  if (queue.begin > 0 && queue.capacity - queue.begin - queue.count < queue.capacity / 2) {
    std::memmove(queue.data, FrameAt(queue, queue.begin, sampleBytes),
                 queue.count * FrameBytes(queue, sampleBytes));
    queue.begin = 0;
  }
  return queue.capacity - queue.begin - queue.count;
}

// The in-place stages from `first` up to the next reshaping one, over frames just queued.
void RunInPlaceStages(EffectChain& chain, uint32_t first, void* samples, std::size_t frames) {
  if (frames == 0) return;
  for (uint32_t i = first; i < chain.recipe.count && !IsReshaping(chain.stages[i]); ++i) {
    if (EffectChangesAudio(chain.stages[i])) {
      ProcessEffectFloats(chain.stages[i], static_cast<float*>(samples),
                          static_cast<int32_t>(frames));
    }
  }
}

// A delayed in-place stage's frames, just run over: drops those still owed from its start and
// returns how many are left, moved to the front.
std::size_t DropOwed(EffectChain& chain, uint32_t i, float* samples, std::size_t frames) {
  EffectState& stage = chain.stages[i];
  if (EffectChangesAudio(stage)) ProcessEffectFloats(stage, samples, static_cast<int32_t>(frames));
  const auto dropped = static_cast<std::size_t>(std::min<uint64_t>(chain.toDrop[i], frames));
  chain.toDrop[i] -= dropped;
  if (dropped > 0 && dropped < frames) {
    std::memmove(samples, samples + dropped * stage.channels,
                 (frames - dropped) * stage.channels * sizeof(float));
  }
  return frames - dropped;
}

// Frames a delayed in-place stage runs over at a time.
constexpr std::size_t kDelayedFrames = 65536;

// Reshaping stage i's flow; a delayed in-place stage copies what fits and runs over it.
void FlowStage(EffectChain& chain, uint32_t i, const void* in, std::size_t inFrames, void* out,
               std::size_t outRoom, std::size_t sampleBytes, std::size_t& consumed,
               std::size_t& produced) {
  EffectState& stage = chain.stages[i];
  if (stage.family->ops.flow != nullptr) {
    stage.family->ops.flow(stage.record, in, inFrames, out, outRoom, sampleBytes, consumed,
                           produced);
    return;
  }
  consumed = std::min({inFrames, outRoom, kDelayedFrames});
  if (consumed > 0) std::memcpy(out, in, consumed * stage.channels * sizeof(float));
  produced = DropOwed(chain, i, static_cast<float*>(out), consumed);
}

// Reshaping stage i's drain; a delayed in-place stage runs over silence until its delay is out.
std::size_t DrainStage(EffectChain& chain, uint32_t i, void* out, std::size_t room,
                       std::size_t sampleBytes) {
  EffectState& stage = chain.stages[i];
  if (stage.family->ops.flow != nullptr) {
    return stage.family->ops.drain != nullptr
               ? stage.family->ops.drain(stage.record, out, room, sampleBytes)
               : 0;
  }
  std::size_t produced = 0;
  while (produced == 0 && chain.toFeed[i] > 0) {
    const auto count = static_cast<std::size_t>(
        std::min<uint64_t>(chain.toFeed[i], std::min(room, kDelayedFrames)));
    std::memset(out, 0, count * stage.channels * sizeof(float));
    chain.toFeed[i] -= count;
    produced = DropOwed(chain, i, static_cast<float*>(out), count);
  }
  return produced;
}

// The caller's output: where frames that leave the chain go.
struct Outlet {
  unsigned char* data;
  std::size_t room;
  std::size_t frameBytes;
  std::size_t& produced;
};

// Runs reshaping stage i over `frames` frames at `from`, then the in-place stages after it over
// what it wrote: into its queue, or, when it is the last stage and its queue is empty, straight
// into the caller's output. Returns the frames it consumed; `moved` tells whether it did anything.
std::size_t RunStage(EffectChain& chain, uint32_t i, const void* from, std::size_t frames,
                     std::size_t sampleBytes, Outlet& outlet, bool& moved) {
  StageQueue& to = chain.queues[i + 1];
  const bool direct = i + 1 == chain.lastQueue && to.count == 0;
  const std::size_t room = direct ? outlet.room - outlet.produced : Room(to, sampleBytes);
  moved = false;
  if (room == 0) return 0;
  unsigned char* tail = direct ? outlet.data + outlet.produced * outlet.frameBytes
                               : FrameAt(to, to.begin + to.count, sampleBytes);
  std::size_t consumed = 0;
  std::size_t produced = 0;
  FlowStage(chain, i, from, frames, tail, room, sampleBytes, consumed, produced);
  RunInPlaceStages(chain, i + 1, tail, produced);
  (direct ? outlet.produced : to.count) += produced;
  moved = consumed > 0 || produced > 0;
  return consumed;
}

// Lets reshaping stage i move what it can from its queue onwards; true when it moved any.
bool StepStage(EffectChain& chain, uint32_t i, std::size_t sampleBytes, Outlet& outlet) {
  StageQueue& from = chain.queues[chain.feeds[i]];
  if (from.count == 0) return false;
  bool moved = false;
  Pop(from, RunStage(chain, i, FrameAt(from, from.begin, sampleBytes), from.count, sampleBytes,
                     outlet, moved));
  return moved;
}

// The first reshaping stage, when it may read the caller's input where it lies: no stage before
// it changes the audio. recipe.count otherwise.
uint32_t DirectReader(const EffectChain& chain) {
  for (uint32_t i = 0; i < chain.recipe.count; ++i) {
    if (IsReshaping(chain.stages[i])) return i;
    if (EffectChangesAudio(chain.stages[i])) break;
  }
  return chain.recipe.count;
}

// Lets the first reshaping stage take input straight from the caller while nothing waits in the
// chain's input queue; true when it moved any.
bool TakeDirect(EffectChain& chain, const unsigned char* in, std::size_t inFrames,
                std::size_t& consumed, std::size_t sampleBytes, Outlet& outlet) {
  const uint32_t i = DirectReader(chain);
  if (i == chain.recipe.count || consumed == inFrames || chain.queues[0].count > 0) return false;
  bool moved = false;
  consumed += RunStage(chain, i, in + consumed * FrameBytes(chain.queues[0], sampleBytes),
                       inFrames - consumed, sampleBytes, outlet, moved);
  return moved;
}

bool IsFinished(const EffectState& stage) {
  if (!IsReshaping(stage)) return false;
  const auto finished = stage.family->ops.finished;
  return finished != nullptr && stage.record != nullptr && finished(stage.record);
}

// The last finished stage, before which nothing matters any more; recipe.count when none is.
uint32_t FinishedStage(const EffectChain& chain) {
  for (uint32_t i = chain.recipe.count; i-- > 0;) {
    if (IsFinished(chain.stages[i])) return i;
  }
  return chain.recipe.count;
}

// Drops the frames queued for the finished stage i and the stages before it.
void DropQueuedBefore(EffectChain& chain, uint32_t i) {
  for (uint32_t q = 0; q <= chain.feeds[i]; ++q) {
    chain.queues[q].begin = 0;
    chain.queues[q].count = 0;
  }
}

}  // namespace

bool ChainWantsInput(const EffectChain& chain) {
  return FinishedStage(chain) == chain.recipe.count;
}

bool ChainFits(const ChainRecipe& recipe, StreamShape in, ChainError& error) {
  for (uint32_t i = 0; i < recipe.count; ++i) {
    const EffectFamily& family = FamilyOf(recipe.stages[i].kind);
    std::string problem;
    if (family.ops.fits != nullptr && !family.ops.fits(recipe.stages[i], in, problem)) {
      error.code = WAVFX_ERROR_OUT_OF_RANGE;
      error.message = "stage " + std::to_string(i + 1) + " (" + family.info.name + "): " + problem;
      return false;
    }
    if (Reshapes(family)) in = ShapeAfter(family, recipe.stages[i], in);
  }
  return true;
}

bool RecipeReshapes(const ChainRecipe& recipe) {
  for (uint32_t i = 0; i < recipe.count; ++i) {
    if (Reshapes(FamilyOf(recipe.stages[i].kind))) return true;
  }
  return false;
}

StreamShape ChainOutputShape(const ChainRecipe& recipe, StreamShape in) {
  for (uint32_t i = 0; i < recipe.count; ++i) {
    const EffectFamily& family = FamilyOf(recipe.stages[i].kind);
    if (Reshapes(family)) in = ShapeAfter(family, recipe.stages[i], in);
  }
  return in;
}

bool ChainCopiesOnly(const EffectChain& chain) {
  for (uint32_t i = 0; i < chain.recipe.count; ++i) {
    const EffectState& stage = chain.stages[i];
    if (!IsReshaping(stage)) {
      if (EffectChangesAudio(stage)) return false;
      continue;
    }
    const auto copies = stage.family->ops.copiesOnly;
    if (copies == nullptr || stage.record == nullptr || !copies(stage.record)) return false;
  }
  return true;
}

bool InitChainQueues(EffectChain& chain) {
  for (StageQueue& unused : chain.queues)
    unused = StageQueue{};
  uint32_t queue = 0;
  uint32_t channels = chain.channels;
  const auto make = [&](uint32_t index) {
    StageQueue& q = chain.queues[index];
    q = StageQueue{};
    q.channels = channels;
    q.capacity =
        std::max<std::size_t>(kQueueSamples / std::max<uint32_t>(channels, 1), kMinQueueFrames);
    q.data = new (std::nothrow) unsigned char[q.capacity * channels * 8];
    return q.data != nullptr || channels == 0;
  };
  bool made = make(0);
  for (uint32_t i = 0; i < chain.recipe.count; ++i) {
    if (!IsReshaping(chain.stages[i])) continue;
    chain.feeds[i] = queue;
    channels = ShapeAfter(*chain.stages[i].family, chain.recipe.stages[i],
                          {channels, chain.stages[i].sampleRate})
                   .channels;
    chain.toDrop[i] = chain.toFeed[i] = EffectDelay(chain.stages[i]);
    queue = i + 1;
    made = make(queue) && made;
  }
  chain.lastQueue = queue;
  chain.drained = 0;
  chain.ended = false;
  chain.scratchInFrames = ScratchFrames(chain.channels);
  chain.scratchOutFrames = ScratchFrames(channels);
  chain.scratchIn = new (std::nothrow) float[chain.scratchInFrames * chain.channels + 1];
  chain.scratchOut = new (std::nothrow) float[chain.scratchOutFrames * channels + 1];
  return made && chain.scratchIn != nullptr && chain.scratchOut != nullptr;
}

void ReleaseChainQueues(EffectChain& chain) {
  if (!chain.reshapes) return;
  for (StageQueue& queue : chain.queues) {
    delete[] queue.data;
    queue = StageQueue{};
  }
  delete[] chain.scratchIn;
  delete[] chain.scratchOut;
  chain.scratchIn = nullptr;
  chain.scratchOut = nullptr;
}

void FlowChain(EffectChain& chain, const void* in, std::size_t inFrames, void* out,
               std::size_t outRoom, std::size_t sampleBytes, std::size_t& consumed,
               std::size_t& produced) {
  consumed = 0;
  produced = 0;
  StageQueue& head = chain.queues[0];
  StageQueue& last = chain.queues[chain.lastQueue];
  const std::size_t inBytes = FrameBytes(head, sampleBytes);
  Outlet outlet{static_cast<unsigned char*>(out), outRoom, FrameBytes(last, sampleBytes), produced};
  for (bool moved = true; moved;) {
    moved = false;
    const std::size_t leaving = std::min(last.count, outRoom - produced);
    if (leaving > 0) {
      std::memcpy(outlet.data + produced * outlet.frameBytes,
                  FrameAt(last, last.begin, sampleBytes), leaving * outlet.frameBytes);
      Pop(last, leaving);
      produced += leaving;
      moved = true;
    }
    for (uint32_t i = chain.recipe.count; i-- > 0 && !IsFinished(chain.stages[i]);) {
      if (!IsReshaping(chain.stages[i])) continue;
      moved = StepStage(chain, i, sampleBytes, outlet) || moved;
      if (IsFinished(chain.stages[i])) break;
    }
    const uint32_t finished = FinishedStage(chain);
    if (finished < chain.recipe.count) {
      // Whatever reaches a finished stage is dropped: the input is taken without running the
      // stages before it.
      DropQueuedBefore(chain, finished);
      consumed = inFrames;
      continue;
    }
    if (in != nullptr) {
      moved = TakeDirect(chain, static_cast<const unsigned char*>(in), inFrames, consumed,
                         sampleBytes, outlet) ||
              moved;
    }
    const std::size_t taken = std::min(inFrames - consumed, Room(head, sampleBytes));
    if (taken > 0) {
      unsigned char* tail = FrameAt(head, head.begin + head.count, sampleBytes);
      std::memcpy(tail, static_cast<const unsigned char*>(in) + consumed * inBytes,
                  taken * inBytes);
      RunInPlaceStages(chain, 0, tail, taken);
      head.count += taken;
      consumed += taken;
      moved = true;
    }
  }
}

std::size_t DrainChain(EffectChain& chain, void* out, std::size_t outRoom,
                       std::size_t sampleBytes) {
  std::size_t produced = 0;
  chain.ended = true;
  const std::size_t outBytes = FrameBytes(chain.queues[chain.lastQueue], sampleBytes);
  for (;;) {
    std::size_t consumed = 0;
    std::size_t moved = 0;
    FlowChain(chain, nullptr, 0, static_cast<unsigned char*>(out) + produced * outBytes,
              outRoom - produced, sampleBytes, consumed, moved);
    produced += moved;
    // The stages before a finished one have nothing left to give it.
    const uint32_t finished = FinishedStage(chain);
    if (finished < chain.recipe.count) chain.drained = std::max(chain.drained, finished);
    while (chain.drained < chain.recipe.count && !IsReshaping(chain.stages[chain.drained])) {
      ++chain.drained;
    }
    if (chain.drained == chain.recipe.count) return produced;
    const uint32_t i = chain.drained;
    // Frames still waiting for this stage, or no room after it: the output is full.
    if (chain.queues[chain.feeds[i]].count > 0) return produced;
    StageQueue& to = chain.queues[i + 1];
    const std::size_t room = Room(to, sampleBytes);
    if (room == 0) return produced;
    unsigned char* tail = FrameAt(to, to.begin + to.count, sampleBytes);
    const std::size_t flushed = DrainStage(chain, i, tail, room, sampleBytes);
    RunInPlaceStages(chain, i + 1, tail, flushed);
    to.count += flushed;
    if (flushed == 0) ++chain.drained;
  }
}

template <class Sample>
void FlowChainSamples(EffectChain& chain, const Sample* in, std::size_t inFrames, Sample* out,
                      std::size_t outRoom, std::size_t& consumed, std::size_t& produced) {
  consumed = produced = 0;
  if (ChainCopiesOnly(chain)) {
    FlowChain(chain, in, inFrames, out, outRoom, sizeof(Sample), consumed, produced);
    return;
  }
  const std::size_t inChannels = chain.channels;
  const std::size_t outChannels = chain.output.channels;
  for (bool moved = true; moved;) {
    if (!ChainWantsInput(chain)) consumed = inFrames;
    const std::size_t offered = std::min(inFrames - consumed, chain.scratchInFrames);
    ToFloats(in + consumed * inChannels, chain.scratchIn, offered * inChannels);
    std::size_t taken = 0;
    std::size_t made = 0;
    if constexpr (std::is_same_v<Sample, float>) {  // floats leave straight into the caller's
      FlowChain(chain, chain.scratchIn, offered, out + produced * outChannels, outRoom - produced,
                sizeof(float), taken, made);
    } else {
      const std::size_t room = std::min(outRoom - produced, chain.scratchOutFrames);
      FlowChain(chain, chain.scratchIn, offered, chain.scratchOut, room, sizeof(float), taken,
                made);
      FromFloats(chain.scratchOut, out + produced * outChannels, made * outChannels);
    }
    consumed += taken;
    produced += made;
    moved = taken > 0 || made > 0;
  }
}

template <class Sample>
std::size_t DrainChainSamples(EffectChain& chain, Sample* out, std::size_t outRoom) {
  if (ChainCopiesOnly(chain)) return DrainChain(chain, out, outRoom, sizeof(Sample));
  const std::size_t channels = chain.output.channels;
  std::size_t made = 0;
  for (std::size_t flushed = 1; flushed > 0 && made < outRoom;) {
    const std::size_t room = std::min(outRoom - made, chain.scratchOutFrames);
    flushed = DrainChain(chain, chain.scratchOut, room, sizeof(float));
    FromFloats(chain.scratchOut, out + made * channels, flushed * channels);
    made += flushed;
  }
  return made;
}

template void FlowChainSamples(EffectChain&, const int16_t*, std::size_t, int16_t*, std::size_t,
                               std::size_t&, std::size_t&);
template void FlowChainSamples(EffectChain&, const int32_t*, std::size_t, int32_t*, std::size_t,
                               std::size_t&, std::size_t&);
template void FlowChainSamples(EffectChain&, const float*, std::size_t, float*, std::size_t,
                               std::size_t&, std::size_t&);
template std::size_t DrainChainSamples(EffectChain&, int16_t*, std::size_t);
template std::size_t DrainChainSamples(EffectChain&, int32_t*, std::size_t);
template std::size_t DrainChainSamples(EffectChain&, float*, std::size_t);

uint64_t ChainLatency(const EffectChain& chain) {
  double latency = 0;
  for (uint32_t i = 0; i < chain.recipe.count; ++i) {
    const EffectState& stage = chain.stages[i];
    if (!IsReshaping(stage)) continue;
    const auto held = stage.family->ops.latency;
    const StreamShape out =
        ShapeAfter(*stage.family, chain.recipe.stages[i], {stage.channels, stage.sampleRate});
    const double frames =
        static_cast<double>(held != nullptr ? held(stage.record) : EffectDelay(stage));
    latency += frames * chain.output.sampleRate / std::max<uint32_t>(out.sampleRate, 1);
  }
  return static_cast<uint64_t>(latency + 0.5);
}

}  // namespace wavfx
