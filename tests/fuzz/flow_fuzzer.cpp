// Fuzz target over chains that reshape the stream: the input is a chain's text, a newline, and
// bytes that choose the stream (channels, rate) and how it is cut into flow calls. An accepted
// chain gives the same output bits in one call as in the cut calls, finite floats, and as many
// channels as it reports.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "require.h"
#include "wavfx/wavfx.h"

namespace {

constexpr std::size_t kFrames = 3000;
constexpr uint32_t kRates[] = {8000, 11025, 44100, 48000, 96000};

// Runs the whole signal through a fresh instance; `cuts` (empty: one call) give the input frames
// and the output room of each call, cycled.
std::vector<float> Run(const std::string& text, uint32_t channels, uint32_t rate,
                       const std::vector<float>& signal, const std::vector<uint8_t>& cuts) {
  wavfx_error error;
  wavfx_effect* effect = wavfx_chain_create(text.c_str(), channels, rate, &error);
  std::vector<float> output;
  if (effect == nullptr) return output;
  const std::size_t outChannels = wavfx_effect_output_channels(effect);
  Require(outChannels >= 1 && wavfx_effect_output_sample_rate(effect) >= 1);
  std::vector<float> room(4096 * outChannels);
  std::size_t next = 0;
  const auto size = [&](std::size_t most) -> std::size_t {
    if (cuts.empty()) return most;
    const uint8_t byte = cuts[next++ % cuts.size()];
    return std::min<std::size_t>(most, byte % 64 == 63 ? 0 : byte % 64 + 1);
  };
  const std::size_t frames = signal.size() / channels;
  for (std::size_t at = 0; at < frames;) {
    std::size_t consumed = 0, produced = 0;
    Require(wavfx_effect_flow_float(effect, signal.data() + at * channels, size(frames - at),
                                    room.data(), size(4096), &consumed, &produced) == WAVFX_OK);
    output.insert(output.end(), room.begin(), room.begin() + produced * outChannels);
    at += consumed;
  }
  for (;;) {
    const std::size_t offered = size(4096);
    std::size_t produced = 0;
    Require(wavfx_effect_flush_float(effect, room.data(), offered, &produced) == WAVFX_OK);
    output.insert(output.end(), room.begin(), room.begin() + produced * outChannels);
    if (offered > 0 && produced == 0) break;
  }
  wavfx_effect_destroy(effect);
  return output;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const auto* end = static_cast<const uint8_t*>(std::memchr(data, '\n', size));
  if (end == nullptr || end + 3 > data + size) return 0;
  const std::string text(reinterpret_cast<const char*>(data), static_cast<std::size_t>(end - data));
  if (text.find('\0') != std::string::npos) return 0;
  const uint32_t channels = end[1] % 3 + 1;
  const uint32_t rate = kRates[end[2] % 5];
  std::vector<uint8_t> cuts(end + 3, data + size);
  cuts.push_back(7);  // at least one call that moves frames in every cycle
  std::vector<float> signal(kFrames * channels);
  for (std::size_t i = 0; i < signal.size(); ++i)
    signal[i] = std::sin(0.001f * static_cast<float>(i * i % 100003)) * 0.9f;
  const std::vector<float> whole = Run(text, channels, rate, signal, {});
  const std::vector<float> cut = Run(text, channels, rate, signal, cuts);
  Require(whole.size() == cut.size());
  Require(whole.empty() ||  // a chain the stream does not fit gives nothing either way
          std::memcmp(whole.data(), cut.data(), whole.size() * sizeof(float)) == 0);
  for (const float value : whole)
    Require(std::isfinite(value));
  return 0;
}
