#include "effects/trim.h"

#include <algorithm>

#include "effects/frame_flow.h"

namespace wavfx {
namespace {

constexpr ParameterSyntax kSyntax[] = {kTimeSyntax, kTimeSyntax, kTimeSyntax};
constexpr wavfx_parameter_info kParameters[] = {
    {"start", "s", 0, 0, 86400, 0, "where the kept part starts"},
    {"end", "s", 0, 0, 86400, 0, "where it ends; 0: the stream's end"},
    {"duration", "s", 0, 0, 86400, 0, "how long it lasts, instead of an end; 0: to the end"},
};
constexpr std::size_t kStart = 0, kEnd = 1, kDuration = 2;

constexpr uint64_t kAll = UINT64_MAX;

bool EndBeforeStart(std::string& problem, const StageValues& v) {
  problem = "end " + TimeText(v, kEnd) + " lies before its start " + TimeText(v, kStart);
  return false;
}

bool Check(const StageValues& v, std::string& problem) {
  if (v.values[kEnd] != 0.0 && v.values[kDuration] != 0.0) {
    problem = "end " + TimeText(v, kEnd) + " and duration " + TimeText(v, kDuration) +
              " both given: give one";
    return false;
  }
  const bool sameUnits = GivenInFrames(v, kStart) == GivenInFrames(v, kEnd);
  if (sameUnits && v.values[kEnd] != 0.0 && v.values[kEnd] < v.values[kStart])
    return EndBeforeStart(problem, v);
  return true;
}

bool Fits(const StageValues& v, StreamShape in, std::string& problem) {
  for (std::size_t i = 0; i < CountOf(kParameters); ++i) {
    if (!FrameCountFits(v, i, kParameters[i], kMaxTimeFrames, problem)) return false;
  }
  if (v.values[kEnd] != 0.0 &&
      TimeFrames(v, kEnd, in.sampleRate) < TimeFrames(v, kStart, in.sampleRate))
    return EndBeforeStart(problem, v);
  return true;
}

void Init(void* state, const StageValues& v, StreamShape in) {
  TrimState& trim = As<TrimState>(state);
  trim.channels = in.channels;
  trim.skip = TimeFrames(v, kStart, in.sampleRate);
  trim.keep = kAll;
  if (v.values[kDuration] != 0.0) trim.keep = TimeFrames(v, kDuration, in.sampleRate);
  if (v.values[kEnd] != 0.0) {
    const uint64_t end = TimeFrames(v, kEnd, in.sampleRate);
    trim.keep = end > trim.skip ? end - trim.skip : 0;
  }
}

void Flow(void* state, const void* in, std::size_t inFrames, void* out, std::size_t outRoom,
          std::size_t sampleBytes, std::size_t& consumed, std::size_t& produced) {
  TrimState& trim = As<TrimState>(state);
  const std::size_t skipped = static_cast<std::size_t>(std::min<uint64_t>(trim.skip, inFrames));
  trim.skip -= skipped;
  const std::size_t kept = static_cast<std::size_t>(
      std::min<uint64_t>(trim.keep, std::min(inFrames - skipped, outRoom)));
  CopyFrames(out, FrameAt(in, skipped, trim.channels, sampleBytes), kept, trim.channels,
             sampleBytes);
  if (trim.keep != kAll) trim.keep -= kept;
  produced = kept;
  // Past the kept part the rest of the stream is dropped as it comes.
  consumed = trim.keep == 0 ? inFrames : skipped + kept;
}

bool ChangesAudio(const void* state) {
  return As<TrimState>(state).skip != 0 || As<TrimState>(state).keep != kAll;
}

bool Finished(const void* state) {
  return As<TrimState>(state).keep == 0;
}

}  // namespace

const EffectFamily kTrimFamily = {
    {"trim", nullptr, 0, "keeps a part of the stream", kParameters, CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(TrimState),
     .init = Init,
     .changesAudio = ChangesAudio,
     .shape = KeepShape,
     .flow = Flow,
     .drain = NothingHeld,
     .latency = NoLatency,
     .finished = Finished,
     .copiesOnly = OnlyCopies,
     .check = Check,
     .fits = Fits},
};

}  // namespace wavfx
