#include "effects/channels.h"

#include <algorithm>
#include <cstring>

#include "effects/frame_flow.h"

namespace wavfx {
namespace {

constexpr wavfx_parameter_info kParameters[] = {
    {"count", "", 1, 1, 65535, 1, "channels of the output"},
};

uint32_t OutputCount(const StageValues& v) {
  const double count = v.values[0];
  return count >= 1.0 && count <= kParameters[0].maximum ? static_cast<uint32_t>(count) : 1;
}

StreamShape Shape(const StageValues& v, StreamShape in) {
  return {OutputCount(v), in.sampleRate};
}

void Init(void* state, const StageValues& v, StreamShape in) {
  ChannelsState& channels = As<ChannelsState>(state);
  channels.inChannels = in.channels;
  channels.outChannels = OutputCount(v);
}

bool CopiesOnly(const void* state) {
  return As<ChannelsState>(state).outChannels >= As<ChannelsState>(state).inChannels;
}

bool ChangesAudio(const void* state) {
  return As<ChannelsState>(state).outChannels != As<ChannelsState>(state).inChannels;
}

// Output channel i of one frame: the mean of input channels i, i + m, ... below n.
void Average(float* to, const float* from, uint32_t n, uint32_t m) {
  for (uint32_t i = 0; i < m; ++i) {
    float sum = from[i];
    uint32_t terms = 1;
    for (uint32_t c = i + m; c < n; c += m, ++terms)
      sum += from[c];
    to[i] = sum * (1.0f / static_cast<float>(terms));
  }
}

void Flow(void* state, const void* in, std::size_t inFrames, void* out, std::size_t outRoom,
          std::size_t sampleBytes, std::size_t& consumed, std::size_t& produced) {
  const ChannelsState& channels = As<ChannelsState>(state);
  const uint32_t n = channels.inChannels;
  const uint32_t m = channels.outChannels;
  consumed = produced = std::min(inFrames, outRoom);
  if (m == n) {
    CopyFrames(out, in, consumed, n, sampleBytes);
    return;
  }
  for (std::size_t f = 0; f < consumed; ++f) {
    if (m < n) {
      Average(static_cast<float*>(out) + f * m, static_cast<const float*>(in) + f * n, n, m);
      continue;
    }
    const unsigned char* from = FrameAt(in, f, n, sampleBytes);
    unsigned char* to = FrameAt(out, f, m, sampleBytes);
    for (uint32_t j = 0; j < m; ++j)
      std::memcpy(to + j * sampleBytes, from + (j % n) * sampleBytes, sampleBytes);
  }
}

}  // namespace

const EffectFamily kChannelsFamily = {
    {"channels", nullptr, 0, "changes the channel count, copying or averaging", kParameters,
     CountOf(kParameters)},
    nullptr,
    {.stateSize = sizeof(ChannelsState),
     .init = Init,
     .changesAudio = ChangesAudio,
     .shape = Shape,
     .flow = Flow,
     .drain = NothingHeld,
     .latency = NoLatency,
     .copiesOnly = CopiesOnly},
};

}  // namespace wavfx
