// Fuzz target over chains that reshape the stream: the input is a chain's text, a newline, and
// bytes that choose the stream (channels, rate) and how it is cut into flow calls. An accepted
// chain gives the same output bits in one call as in the cut calls, finite floats, and as many
// channels as it reports.
#include <cmath>
#include <cstddef>
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
// and the output room of each call, cycled. Both come from one byte, so the byte that moves
// frames on both sides comes round in every cycle, whatever the cycle's length.
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
  const auto frames64 = [](unsigned value) -> std::size_t {
    return value % 64 == 63 ? 0 : value % 64 + 1;
  };
  const auto call = [&](std::size_t inMost, std::size_t& in, std::size_t& out) {
    if (cuts.empty()) {
      in = inMost;
      out = 4096;
      return;
    }
    const unsigned byte = cuts[next++ % cuts.size()];
    in = std::min(inMost, frames64(byte));
    out = frames64((byte * 167u + 13u) & 255u);
  };
  const std::size_t frames = signal.size() / channels;
  for (std::size_t at = 0; at < frames;) {
    std::size_t offered = 0, roomFrames = 0, consumed = 0, produced = 0;
    call(frames - at, offered, roomFrames);
    Require(wavfx_effect_flow_float(effect, signal.data() + at * channels, offered, room.data(),
                                    roomFrames, &consumed, &produced) == WAVFX_OK);
    output.insert(output.end(), room.begin(),
                  room.begin() + static_cast<std::ptrdiff_t>(produced * outChannels));
    at += consumed;
  }
  for (;;) {
    std::size_t unused = 0, offered = 0, produced = 0;
    call(0, unused, offered);
    Require(wavfx_effect_flush_float(effect, room.data(), offered, &produced) == WAVFX_OK);
    output.insert(output.end(), room.begin(),
                  room.begin() + static_cast<std::ptrdiff_t>(produced * outChannels));
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
  cuts.push_back(7);  // a call that moves frames both ways in every cycle
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
