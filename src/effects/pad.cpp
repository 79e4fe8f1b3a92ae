#include "effects/pad.h"

#include <algorithm>

#include "effects/frame_flow.h"

namespace wavfx {
namespace {

constexpr ParameterSyntax kSyntax[] = {kTimeSyntax, kTimeSyntax};
constexpr wavfx_parameter_info kParameters[] = {
    {"start", "s", 0, 0, 86400, 0, "silence before the stream"},
    {"end", "s", 0, 0, 86400, 0, "silence after it"},
};

bool Fits(const StageValues& v, StreamShape, std::string& problem) {
  return FrameCountFits(v, 0, kParameters[0], kMaxTimeFrames, problem) &&
         FrameCountFits(v, 1, kParameters[1], kMaxTimeFrames, problem);
}

void Init(void* state, const StageValues& v, StreamShape in) {
  PadState& pad = As<PadState>(state);
  pad.before = TimeFrames(v, 0, in.sampleRate);
  pad.after = TimeFrames(v, 1, in.sampleRate);
  pad.channels = in.channels;
}

// Writes up to `room` of the `left` silent frames.
std::size_t Silence(uint64_t& left, void* out, std::size_t room, std::size_t channels,
                    std::size_t sampleBytes) {
  const auto frames = static_cast<std::size_t>(std::min<uint64_t>(left, room));
  SilenceFrames(out, frames, channels, sampleBytes);
  left -= frames;
  return frames;
}

void Flow(void* state, const void* in, std::size_t inFrames, void* out, std::size_t outRoom,
          std::size_t sampleBytes, std::size_t& consumed, std::size_t& produced) {
  PadState& pad = As<PadState>(state);
  const std::size_t silent = Silence(pad.before, out, outRoom, pad.channels, sampleBytes);
  consumed = pad.before == 0 ? std::min(inFrames, outRoom - silent) : 0;
  CopyFrames(FrameAt(out, silent, pad.channels, sampleBytes), in, consumed, pad.channels,
             sampleBytes);
  produced = silent + consumed;
}

std::size_t Drain(void* state, void* out, std::size_t outRoom, std::size_t sampleBytes) {
  PadState& pad = As<PadState>(state);
  const std::size_t silent = Silence(pad.before, out, outRoom, pad.channels, sampleBytes);
  return silent + Silence(pad.after, FrameAt(out, silent, pad.channels, sampleBytes),
                          outRoom - silent, pad.channels, sampleBytes);
}

bool ChangesAudio(const void* state) {
  return As<PadState>(state).before != 0 || As<PadState>(state).after != 0;
}

}  // namespace

const EffectFamily kPadFamily = {
    {"pad", nullptr, 0, "silence before and after the stream", kParameters, CountOf(kParameters)},
    kSyntax,
    {.stateSize = sizeof(PadState),
     .init = Init,
     .changesAudio = ChangesAudio,
     .shape = KeepShape,
     .flow = Flow,
     .drain = Drain,
     .latency = NoLatency,
     .copiesOnly = OnlyCopies,
     .fits = Fits},
};

}  // namespace wavfx
