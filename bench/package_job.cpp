// Times natively the job the npm package does in Node (web/bench/speed.js): planar float channels
// through a chain as Chain.process and Chain.flush of web/src/wavfx.js run them, with the same
// glue (web/wasm/web_glue.cpp, linked in) and the same C API calls in the same blocks. Per block
// of kBlock frames each channel is copied into a planar scratch, interleaved by
// wavfx_web_interleave, processed in place by wavfx_effect_process_float (or flowed by
// wavfx_effect_flow_float into a kBlock-frame output, call after call), deinterleaved by
// wavfx_web_deinterleave and copied out: into arrays made before the clock starts for a chain that
// keeps the stream's shape; into new zeroed arrays per call and one concatenation at the end for
// a chain that reshapes, flush included. Rounds are interleaved; prints each chain's median
// thread processor seconds as "chain<TAB>seconds".
//
// Usage: wavfx_bench_package FILE ROUNDS CHAIN...   (WAVFX_VECTOR_PATH=scalar, avx2 or avx512
// picks the vector path)
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/simd_dispatch.h"
#include "wav/wav_reader.h"
#include "wavfx/wavfx.h"

extern "C" {
void wavfx_web_interleave(const float* planar, uint32_t stride, uint32_t channels, uint32_t frames,
                          float* interleaved);
void wavfx_web_deinterleave(const float* interleaved, uint32_t channels, uint32_t frames,
                            float* planar, uint32_t stride);
}

namespace {

constexpr uint32_t kBlock = 16384;  // web/src/wavfx.js: frames handed to the library per call

using Planar = std::vector<std::vector<float>>;

// Channels of zeroed frames, as new Float32Arrays.
Planar Zeroed(uint32_t channels, std::size_t frames) {
  Planar planar(channels);
  for (std::vector<float>& channel : planar)
    channel.resize(frames);
  return planar;
}

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Chain's buffers in the heap, as its constructor allocates them.
struct PackageChain {
  wavfx_effect* handle;
  uint32_t channels;
  uint32_t outputChannels;
  std::vector<float> input, output, planar;
  std::size_t counts[2];
};

void ToHeap(PackageChain& chain, const Planar& from, std::size_t at, uint32_t count, float* to) {
  for (uint32_t c = 0; c < chain.channels; ++c)
    std::memcpy(chain.planar.data() + std::size_t{c} * kBlock, from[c].data() + at, count * 4);
  wavfx_web_interleave(chain.planar.data(), kBlock, chain.channels, count, to);
}

void FromHeap(PackageChain& chain, const float* from, uint32_t channels, Planar& to, std::size_t at,
              uint32_t count) {
  wavfx_web_deinterleave(from, channels, count, chain.planar.data(), kBlock);
  for (uint32_t c = 0; c < channels; ++c)
    std::memcpy(to[c].data() + at, chain.planar.data() + std::size_t{c} * kBlock, count * 4);
}

// The frames the last call produced as a new part; returns their count.
std::size_t Collect(PackageChain& chain, std::vector<Planar>& parts) {
  const auto produced = static_cast<uint32_t>(chain.counts[1]);
  if (produced > 0) {
    Planar part = Zeroed(chain.outputChannels, produced);
    FromHeap(chain, chain.output.data(), chain.outputChannels, part, 0, produced);
    parts.push_back(std::move(part));
  }
  return produced;
}

Planar Concat(const std::vector<Planar>& parts, uint32_t channels) {
  std::size_t frames = 0;
  for (const Planar& part : parts)
    frames += part[0].size();
  Planar out = Zeroed(channels, frames);
  std::size_t at = 0;
  for (const Planar& part : parts) {
    for (uint32_t c = 0; c < channels; ++c)
      std::copy(part[c].begin(), part[c].end(), out[c].begin() + static_cast<std::ptrdiff_t>(at));
    at += part[0].size();
  }
  return out;
}

// Chain.process(data, into) then Chain.flush(); returns the frames that came out.
std::size_t Run(PackageChain& chain, const Planar& data, Planar& into) {
  const std::size_t frames = data[0].size();
  if (wavfx_effect_reshapes(chain.handle) == 0) {
    for (std::size_t at = 0; at < frames; at += kBlock) {
      const auto count = static_cast<uint32_t>(std::min<std::size_t>(kBlock, frames - at));
      ToHeap(chain, data, at, count, chain.input.data());
      wavfx_effect_process_float(chain.handle, chain.input.data(), count);
      FromHeap(chain, chain.input.data(), chain.channels, into, at, count);
    }
    return frames;
  }
  std::vector<Planar> parts;
  for (std::size_t at = 0; at < frames;) {
    const auto count = static_cast<uint32_t>(std::min<std::size_t>(kBlock, frames - at));
    ToHeap(chain, data, at, count, chain.input.data());
    for (std::size_t done = 0; done < count;) {
      wavfx_effect_flow_float(chain.handle, chain.input.data() + done * chain.channels,
                              count - done, chain.output.data(), kBlock, &chain.counts[0],
                              &chain.counts[1]);
      done += chain.counts[0];
      Collect(chain, parts);
    }
    at += count;
  }
  std::size_t made = Concat(parts, chain.outputChannels)[0].size();
  parts.clear();
  do {
    wavfx_effect_flush_float(chain.handle, chain.output.data(), kBlock, &chain.counts[1]);
  } while (Collect(chain, parts) > 0);
  return made + Concat(parts, chain.outputChannels)[0].size();
}

// 16-bit PCM as readWav decodes it: s * 2^-15, planar.
bool ReadPlanar(const char* path, Planar& data, uint32_t& sampleRate) {
  wavfx::WavHeader header;
  std::FILE* file = wavfx::OpenWavFile(path, header);
  if (file == nullptr) return false;
  const uint32_t channels = header.format.channels;
  std::vector<int16_t> samples(header.format.dataSize / 2 / channels * channels);
  samples.resize(std::fread(samples.data(), 2, samples.size(), file) / channels * channels);
  std::fclose(file);
  if (header.format.bitsPerSample != 16 || channels == 0) return false;
  sampleRate = header.format.sampleRate;
  data.assign(channels, std::vector<float>(samples.size() / channels));
  for (std::size_t i = 0; i < samples.size(); ++i)
    data[i % channels][i / channels] = static_cast<float>(samples[i]) / 32768.0f;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Planar data;
  uint32_t sampleRate = 0;
  if (argc < 4 || !ReadPlanar(argv[1], data, sampleRate)) {
    std::fprintf(stderr, "usage: %s FILE(16-bit WAV) ROUNDS CHAIN...\n", argv[0]);
    return 2;
  }
  if (const char* path = std::getenv("WAVFX_VECTOR_PATH")) {
    const std::string name = path;
    wavfx::SetVectorPathForTesting(name == "scalar" ? wavfx::VectorPath::Scalar
                                   : name == "avx2" ? wavfx::VectorPath::Avx2
                                                    : wavfx::VectorPath::Avx512);
  }
  const auto channels = static_cast<uint32_t>(data.size());
  const int rounds = std::max(1, std::atoi(argv[2]));
  std::vector<std::vector<double>> seconds(static_cast<std::size_t>(argc - 3));
  // In-place chains write into arrays made once, as speed.js hands them over.
  Planar into = Zeroed(channels, data[0].size());
  volatile std::size_t sink = 0;
  for (int round = 0; round < rounds; ++round) {
    for (int i = 3; i < argc; ++i) {
      wavfx_error error{};
      PackageChain chain{
          wavfx_chain_create(argv[i], channels, sampleRate, &error), channels, 0, {}, {}, {}, {}};
      if (chain.handle == nullptr) {
        std::fprintf(stderr, "%s: %s\n", argv[i], error.message);
        return 2;
      }
      chain.outputChannels = wavfx_effect_output_channels(chain.handle);
      chain.input.resize(std::size_t{kBlock} * channels);
      chain.output.resize(std::size_t{kBlock} * chain.outputChannels);
      chain.planar.resize(std::size_t{kBlock} * std::max(channels, chain.outputChannels));
      const double start = ThreadSeconds();
      sink = Run(chain, data, into);
      seconds[static_cast<std::size_t>(i - 3)].push_back(ThreadSeconds() - start);
      wavfx_effect_destroy(chain.handle);
    }
  }
  (void)sink;
  for (int i = 3; i < argc; ++i) {
    std::vector<double>& times = seconds[static_cast<std::size_t>(i - 3)];
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    std::printf("%s\t%.6f\n", argv[i],
                n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2);
  }
  return 0;
}
