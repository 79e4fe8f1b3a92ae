// Times chains over the 16-bit data of a WAV file held in memory, processed in place in the
// blocks that file streaming uses, against the bare recurrence of the one-pole filters: for
// each frame, both channels' memory times the pole plus the scaled input, with no conversion
// back and no store. The 24-bit and float forms run the same chains over the same samples as
// ProcessChainInts and ProcessChainFloats take them. A chain that reshapes the stream cannot run
// in place: it flows through FlowChainSamples and DrainChainSamples in the blocks of the file path
// (kFlowBlockSamples on either side). Rounds are interleaved; prints the median processor seconds
// of each.
//
// "biquad-recurrence" is the same bound for the two-pole filters: each channel's direct form I
// in double precision, from the 16-bit samples converted to float.
//
// Usage: wavfx_bench_memory FILE ROUNDS CHAIN...   (a CHAIN "recurrence" is the bound; a prefix
// "24-bit:" or "float:" takes the chain through those forms; WAVFX_VECTOR_PATH=scalar, avx2 or
// avx512 picks the vector path)
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/biquad.h"
#include "dsp/one_pole_step.h"
#include "dsp/pcm_conversion.h"
#include "dsp/sample_conversion.h"
#include "dsp/simd_dispatch.h"
#include "engine/chain.h"
#include "engine/chain_flow.h"
#include "engine/chain_text.h"
#include "entry/stream.h"
#include "wav/wav_reader.h"

namespace {

// The thread's own processor time: the machine is shared, and time spent waiting for a core
// is no part of the work.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

enum class Form { Samples, Ints24, Floats, Recurrence, BiquadRecurrence, Flow };

// Samples per block on either side of a reshaping chain, as the file path reads and writes them.
constexpr std::size_t kFlowBlockSamples = 1 << 15;

struct Job {
  std::string label;
  Form form;
  wavfx::ChainRecipe recipe;
  std::vector<double> seconds;
};

// The lowpass's pole at its default cutoff; the recurrence's time does not depend on it.
float DefaultPole(uint32_t sampleRate) {
  return wavfx::OnePoleCoefficient(5000.0f, sampleRate);
}

float Recurrence(const std::vector<int16_t>& samples, uint32_t sampleRate) {
  const float a = DefaultPole(sampleRate);
  const float b = 1.0f - a;
  float left = 0.0f, right = 0.0f;
  for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
    left = b * wavfx::SampleToFloat(samples[i]) + left * a;
    right = b * wavfx::SampleToFloat(samples[i + 1]) + right * a;
  }
  return left + right;
}

float BiquadRecurrence(const std::vector<int16_t>& samples, uint32_t sampleRate) {
  const wavfx::BiquadCoefficients c =
      wavfx::DesignBiquad({wavfx::BiquadShape::Lowpass, 3000.0, static_cast<double>(sampleRate),
                           0.0, wavfx::BiquadWidth::Q, 0.7071});
  double l1 = 0, l2 = 0, ly1 = 0, ly2 = 0, r1 = 0, r2 = 0, ry1 = 0, ry2 = 0;
  for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
    const double l = wavfx::SampleToFloat(samples[i]);
    const double r = wavfx::SampleToFloat(samples[i + 1]);
    const double ly = (((c.b0 * l + c.b1 * l1) + c.b2 * l2) - c.a2 * ly2) - c.a1 * ly1;
    const double ry = (((c.b0 * r + c.b1 * r1) + c.b2 * r2) - c.a2 * ry2) - c.a1 * ry1;
    l2 = l1, l1 = l, ly2 = ly1, ly1 = ly;
    r2 = r1, r1 = r, ry2 = ry1, ry1 = ry;
  }
  return static_cast<float>(ly1 + ry1);
}

// The whole source through a reshaping chain; returns the frames it produced.
std::size_t Flow(wavfx::EffectChain& chain, const std::vector<int16_t>& source, uint32_t channels,
                 std::vector<int16_t>& out) {
  const std::size_t inFrames = kFlowBlockSamples / channels;
  const std::size_t outChannels = std::max<uint32_t>(chain.output.channels, 1);
  const std::size_t outRoom = std::max<std::size_t>(kFlowBlockSamples / outChannels, 1);
  out.resize(outRoom * outChannels);
  std::size_t made = 0;
  for (std::size_t at = 0; at < source.size(); at += inFrames * channels) {
    const int16_t* block = source.data() + at;
    std::size_t frames = std::min(inFrames, (source.size() - at) / channels);
    while (frames > 0) {
      std::size_t consumed = 0;
      std::size_t produced = 0;
      wavfx::FlowChainSamples(chain, block, frames, out.data(), outRoom, consumed, produced);
      block += consumed * channels;
      frames -= consumed;
      made += produced;
    }
  }
  while (const std::size_t flushed = wavfx::DrainChainSamples(chain, out.data(), outRoom))
    made += flushed;
  return made;
}

double RunOnce(Job& job, const std::vector<int16_t>& source, uint32_t channels, uint32_t sampleRate,
               std::vector<int16_t>& samples, std::vector<int32_t>& ints,
               std::vector<float>& floats) {
  wavfx::EffectChain chain;
  // The input's length is known, as a file's is: stages that can then run in place do.
  wavfx::InitChain(chain, job.recipe, channels, sampleRate, source.size() / channels);
  const Form form = job.form == Form::Flow && !chain.reshapes ? Form::Samples : job.form;
  // Each form starts from its own copy, made before the clock starts.
  const std::size_t blockSamples = wavfx::kDirectBlockBytes / 2 / channels * channels;
  if (form == Form::Samples) samples = source;
  if (form == Form::Ints24) {
    for (std::size_t i = 0; i < source.size(); ++i)
      ints[i] = static_cast<int32_t>(static_cast<uint32_t>(source[i]) << 8);
  }
  if (form == Form::Floats) wavfx::SamplesToFloats(source.data(), floats.data(), source.size());
  volatile float sink = 0.0f;
  const double start = ThreadSeconds();
  if (form == Form::Flow) sink = static_cast<float>(Flow(chain, source, channels, samples));
  for (std::size_t at = 0; form != Form::Flow && at < source.size(); at += blockSamples) {
    const std::size_t count = std::min(blockSamples, source.size() - at);
    switch (form) {
      case Form::Samples:
        wavfx::ProcessChainSamples(chain, samples.data() + at, count / channels);
        break;
      case Form::Ints24:
        wavfx::ProcessChainInts(chain, ints.data() + at, count / channels, 24);
        break;
      case Form::Floats:
        wavfx::ProcessChainFloats(chain, floats.data() + at, count / channels);
        break;
      case Form::Recurrence:
      case Form::BiquadRecurrence:
      case Form::Flow:
        break;
    }
  }
  if (form == Form::Recurrence) sink = Recurrence(source, sampleRate);
  if (form == Form::BiquadRecurrence) sink = BiquadRecurrence(source, sampleRate);
  const double elapsed = ThreadSeconds() - start;
  (void)sink;
  wavfx::ReleaseChain(chain);
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s FILE ROUNDS CHAIN...\n", argv[0]);
    return 2;
  }
  wavfx::WavHeader header;
  std::FILE* file = wavfx::OpenWavFile(argv[1], header);
  if (file == nullptr || header.format.bitsPerSample != 16) {
    std::fprintf(stderr, "%s: not a 16-bit WAV file\n", argv[1]);
    return 1;
  }
  const uint32_t channels = header.format.channels;
  const uint32_t sampleRate = header.format.sampleRate;
  std::vector<int16_t> source(header.format.dataSize / 2 / channels * channels);
  source.resize(std::fread(source.data(), 2, source.size(), file) / channels * channels);
  std::fclose(file);
  const int rounds = std::max(1, std::atoi(argv[2]));
  if (const char* path = std::getenv("WAVFX_VECTOR_PATH")) {
    const std::string name = path;
    wavfx::SetVectorPathForTesting(name == "scalar" ? wavfx::VectorPath::Scalar
                                   : name == "avx2" ? wavfx::VectorPath::Avx2
                                                    : wavfx::VectorPath::Avx512);
  }

  std::vector<Job> jobs;
  for (int i = 3; i < argc; ++i) {
    std::string text = argv[i];
    Job job{text, Form::Samples, {}, {}};
    for (const auto& [prefix, form] :
         {std::pair{"24-bit:", Form::Ints24}, {"float:", Form::Floats}}) {
      if (text.rfind(prefix, 0) == 0) {
        job.form = form;
        text.erase(0, std::strlen(prefix));
      }
    }
    if (text == "recurrence" || text == "biquad-recurrence") {
      job.form = text == "recurrence" ? Form::Recurrence : Form::BiquadRecurrence;
      text = "none";
    }
    wavfx::ChainError error;
    if (wavfx::IsPlainName(text)) {
      job.recipe = wavfx::RecipeOfName(text.c_str());
    } else if (!wavfx::ParseChain(text, job.recipe, error)) {
      std::fprintf(stderr, "%s: %s\n", argv[i], error.message.c_str());
      return 2;
    }
    if (wavfx::RecipeReshapes(job.recipe)) {
      if (job.form != Form::Samples) {
        std::fprintf(stderr, "%s: a reshaping chain runs on 16-bit samples only\n", argv[i]);
        return 2;
      }
      job.form = Form::Flow;
    }
    jobs.push_back(job);
  }
  std::vector<int16_t> samples;
  std::vector<int32_t> ints(source.size());
  std::vector<float> floats(source.size());
  for (int round = 0; round < rounds; ++round) {
    for (Job& job : jobs)
      job.seconds.push_back(RunOnce(job, source, channels, sampleRate, samples, ints, floats));
  }
  for (Job& job : jobs) {
    std::sort(job.seconds.begin(), job.seconds.end());
    const std::size_t n = job.seconds.size();
    const double median =
        n % 2 ? job.seconds[n / 2] : (job.seconds[n / 2 - 1] + job.seconds[n / 2]) / 2;
    std::printf("%s\t%.6f\n", job.label.c_str(), median);
  }
  return 0;
}
