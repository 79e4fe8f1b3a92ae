// Runs every effect over the deterministic signal set through WAVEffect; a set of parameterised
// effects and chains through the command line's job; and every effect on the signals widened to
// 8, 24 and 32-bit and float samples through the conversions of those depths. Compares the
// SHA-256 of each output with the tables in the repository, or rewrites them: plain names in
// the first table, the rest in the second.
//
// Usage: wavfx_golden --check TABLE EXTENDED_TABLE | --write TABLE EXTENDED_TABLE
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "dsp/simd_dispatch.h"
#include "engine/chain.h"
#include "engine/chain_flow.h"
#include "engine/chain_measure.h"
#include "engine/chain_text.h"
#include "engine/effect.h"
#include "entry/apply_effect.h"
#include "golden/sha256.h"
#include "golden/signals.h"
#include "platform/text_conversion.h"
#include "wav/wav_writer.h"
#include "wavfx/wavfx.h"

namespace {

using wavfx::testing::SignalRecipe;

struct Job {
  SignalRecipe signal;
  std::string inputPath;
};

// Values the effects are known to produce, checked in the golden outputs themselves so that the
// table can only be regenerated from output that agrees with them.
struct KnownSample {
  const char* effect;
  const char* signal;
  uint32_t channels, sampleRate, channel;
  std::size_t frame;
  int16_t expected;
};

const KnownSample kKnownSamples[] = {
    {"lowpass", "impulse", 2, 44100, 1, 0, 11397},  {"lowpass", "impulse", 2, 44100, 1, 1, 7433},
    {"lowpass", "impulse", 2, 44100, 1, 2, 4847},   {"echo", "impulse", 2, 10, 1, 0, 22936},
    {"echo", "impulse", 2, 10, 1, 3, 16383},        {"echo", "impulse", 2, 10, 1, 6, 7372},
    {"reverb", "impulse", 1, 44100, 0, 0, 11468},   {"reverb", "impulse", 1, 44100, 0, 7535, 0},
    {"reverb", "impulse", 1, 44100, 0, 7536, 6881}, {"flanger", "impulse", 1, 44100, 0, 0, 11468},
    {"flanger", "impulse", 1, 44100, 0, 117, 6911}, {"flanger", "impulse", 1, 44100, 0, 118, 2955},
    {"flanger", "impulse", 1, 44100, 0, 235, 1756}, {"antique", "silence", 3, 48000, 2, 999, -116},
    {"distort", "square", 1, 8000, 0, 0, 15291},    {"bitcrush", "square", 1, 8000, 0, 60, -32767},
    {"widen", "square", 2, 22050, 0, 0, 32766},     {"tremolo", "impulse", 1, 44100, 0, 0, 16384},
};

// The first name of each of WAVEffect's families, in matching order.
std::vector<std::string> CanonicalEffects() {
  std::vector<std::string> names;
  wavfx::EffectKind previous = wavfx::EffectKind::Widener;
  for (const wavfx::EffectName& name : wavfx::EffectNames()) {
    if (!wavfx::IsClassicFamily(wavfx::FamilyOf(name.kind))) continue;
    if (names.empty() || name.kind != previous) names.push_back(name.literal);
    previous = name.kind;
  }
  return names;
}

// Every later family at its defaults: a chain of one stage.
std::vector<std::string> LaterFamilies() {
  std::vector<std::string> names;
  for (const wavfx::EffectFamily* family : wavfx::EffectFamilies()) {
    if (!wavfx::IsClassicFamily(*family)) names.push_back(family->info.name);
  }
  return names;
}

// Every family with parameters away from their defaults, and chains. Run on fewer signals.
const char* const kChains[] = {
    "lowpass=cutoff=1200",
    "highpass=cutoff=2000",
    "antique=cutoff=2500:noise=0.01:bits=4:level=0.8",
    "echo=delay=120:feedback=-0.6:wet=0.8:dry=0.4",
    "reverb=wet=0.3:dry=0.9:size=0.5:decay=1.2",
    "tremolo=rate=11:depth=1",
    "distort=drive=9:level=0.5",
    "bitcrush=bits=5",
    "flanger=min=1:max=8:rate=1.5:wet=0.5:dry=0.5:feedback=-0.7",
    "chorus=min=5:max=40:rate=0.8:wet=0.7:dry=0.6:feedback=0.4",
    "compress=threshold=-24:ratio=2.5:attack=2:release=300",
    "widen=width=0.4",
    "lowpass,highpass,compress,distort,tremolo,echo,chorus,flanger,reverb",
    "widen,none,bitcrush=bits=12",
    "compress=ratio=1,widen=width=3",
    "gain=db=-7.5",
    "trim=start=0.01:duration=0.5",
    "pad=start=0.05:end=1000s",
    "fade=in=0.1:out=0.2:shape=hsin",
    "limiter=ceiling=-12:release=200:lookahead=1.5:truepeak=0",
    "gate=threshold=-30:range=20:attack=5:hold=0:release=40",
    "channels=count=3",
    "remix=map=0.5*1+0.25*1|1",
    "resample=rate=16000:quality=veryhigh",
    "resample=rate=22050:quality=low",
    "speed=factor=1.1",
    "speed=factor=0.9:rate=16000",
    "speed=factor=1.1:rate=48000:quality=low",
    "speed=factor=0.5:rate=4000",
    "speed=factor=0.9513",
    "speed=factor=0.999:quality=veryhigh",
    "speed=factor=1.0487:rate=16000",
    "resample=rate=16000,channels=count=1,gain=db=3,fade=in=0.5:out=0.5",
    "highpass,speed=factor=0.9,echo,trim=start=100s,pad=end=0.1",
    "norm=level=-2:truepeak=1:peak=-0.5",
    "gain=db=-3,loudnorm=target=-14:measured=-20:peak=-3",
    "tempo=factor=1.25",
    "pitch=cents=-300:quality=high",
    "phaser=rate=3:depth=0.9:centre=600:feedback=0.7:mix=0.8:stages=4",
    "phaser=rate=40:depth=1:centre=900:mix=0.7:stages=11",
    "phaser=rate=7:stages=8:mix=1",
    "dither=type=shaped:seed=12345:bits=12",
    "speed=factor=1.25,gain=db=6,limiter=ceiling=-3,gate",
    "gain=db=12,limiter",
    "gain=db=12,limiter=truepeak=0",
    "gain=db=9,limiter=ceiling=-6:lookahead=40:release=5",
    "gain=db=9,limiter=ceiling=-0.5:lookahead=0.1:release=1000:truepeak=0",
    "gain=db=12,limiter=lookahead=0.1:release=2",
    "gain=db=4,limiter=ceiling=-20:lookahead=100:release=300:truepeak=0",
    "lowpass=poles=2:q=2:cutoff=1500",
    "highpass=poles=2",
    "bandpass=frequency=700:width=1.5:unit=octaves:peak=skirt",
    "bandreject=frequency=1200:q=4",
    "allpass=frequency=300:width=200",
    "equalizer=frequency=2500:q=1.4:gain=-9",
    "bass=gain=8:slope=1",
    "treble=gain=-6:frequency=2000:width=0.9:unit=q",
    "freeverb=reverberance=80:damping=30:room=60:depth=50:predelay=20:wet=3",
    "tremolo=rate=3:depth=0.6:swing=down",
    "distort=drive=8:level=0.9:model=sox:colour=0.15",
    "multichorus=gainin=0.6:gainout=0.8:voices=50/0.4/0.25/2/t|60/0.32/0.4/2.3/s",
    "soxflanger=delay=3:depth=4:regen=50:width=80:speed=1:shape=triangle:phase=40:interp=quadratic",
    "compand=times=0.02/0.15:points=-inf/-60/-40/-30/-10/-8:knee=4:gain=-2:volume=-30:delay=0.01",
};

// The exact-phase converter at a wide ratio (160 phases, 441 input frames apart), at every
// quality: run on the 44.1 kHz signals only.
const char* const kDecimations[] = {
    "resample=rate=16000:quality=low",
    "resample=rate=16000:quality=medium",
    "resample=rate=16000",
    "resample=rate=16000:quality=veryhigh",
};

// Sample depths beyond 16 bits run on the same signals, widened: "echo@24". 0 is float.
const int kDepths[] = {8, 24, 32, 0};

// The 16-bit signal at another depth, its low bits filled so that they matter.
std::vector<int32_t> Widen(const std::vector<int16_t>& samples, int bits) {
  std::vector<int32_t> wide(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const int32_t s = samples[i];
    const auto filler =
        static_cast<int32_t>(static_cast<uint32_t>(i) * 2654435761u >> 24);  // 0-255
    wide[i] = bits == 8 ? s / 256 : (bits == 24 ? s * 256 + filler : s * 65536 + filler * 257);
  }
  return wide;
}

// Runs one effect on one signal at `bits` (0: float) and hashes the samples, little-endian.
std::string RunDepth(const Job& job, const std::string& effect, int bits) {
  const auto samples = wavfx::testing::MakeSignal(job.signal);
  wavfx::EffectChain chain;
  wavfx::InitChain(chain, wavfx::RecipeOfName(effect.c_str()), job.signal.channels,
                   job.signal.sampleRate);
  const std::size_t frames = samples.size() / job.signal.channels;
  std::vector<unsigned char> bytes(samples.size() * 4);
  std::vector<int32_t> wide = Widen(samples, bits == 0 ? 24 : bits);
  // Blocks of 1000 frames, as a stream would come.
  std::vector<float> values(wide.size());
  for (std::size_t at = 0; at < frames; at += 1000) {
    const std::size_t count = std::min<std::size_t>(1000, frames - at);
    const std::size_t offset = at * job.signal.channels;
    if (bits == 0) {
      for (std::size_t i = offset; i < offset + count * job.signal.channels; ++i)
        values[i] = static_cast<float>(wide[i]) * 0x1p-23f;
      wavfx::ProcessChainFloats(chain, values.data() + offset, count);
    } else {
      wavfx::ProcessChainInts(chain, wide.data() + offset, count, bits);
    }
  }
  wavfx::ReleaseChain(chain);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const uint32_t word =
        bits == 0 ? std::bit_cast<uint32_t>(values[i]) : static_cast<uint32_t>(wide[i]);
    for (int b = 0; b < 4; ++b)
      bytes[4 * i + b] = static_cast<unsigned char>(word >> (8 * b));
  }
  wavfx::testing::Sha256 hash;
  wavfx::testing::Sha256Init(hash);
  wavfx::testing::Sha256Update(hash, bytes.data(), bytes.size());
  return wavfx::testing::Sha256Hex(hash);
}

std::string DepthName(const std::string& effect, int bits) {
  return effect + "@" + (bits == 0 ? std::string("float") : std::to_string(bits));
}

bool RunsChains(const SignalRecipe& s) {
  return s.channels <= 3 && (s.sampleRate == 1 || s.sampleRate == 8000 || s.sampleRate == 44100 ||
                             s.sampleRate == 96000);
}

// Chains that reshape the stream (the resampler is the costliest stage, and runs unoptimised in
// the sanitizer and -O0 builds) take the shorter signals of up to two channels.
bool RunsReshaping(const SignalRecipe& s) {
  return s.channels <= 2 && s.sampleRate != 44100;
}

// Chains and the other depths go to the extended table.
bool IsExtended(const std::string& effect) {
  return !wavfx::IsPlainName(effect) || effect.find('@') != std::string::npos;
}

bool IsChain(const std::string& effect) {
  return !wavfx::IsPlainName(effect);
}

bool RunsDecimations(const SignalRecipe& s) {
  return s.channels <= 3 && s.sampleRate == 44100;
}

bool RunsDepths(const SignalRecipe& s) {
  return s.channels <= 2 && (s.sampleRate == 8000 || s.sampleRate == 44100);
}

std::string Key(const std::string& effect, const SignalRecipe& s) {
  return effect + " " + s.name + " " + std::to_string(s.channels) + " " +
         std::to_string(s.sampleRate);
}

bool WriteInput(const Job& job) {
  const auto samples = wavfx::testing::MakeSignal(job.signal);
  const auto bytes = static_cast<uint32_t>(samples.size() * 2);
  const wavfx::StreamFormat format{job.signal.channels, job.signal.sampleRate, 16, 0, 0, bytes};
  std::FILE* file = wavfx::WriteWavHeader(job.inputPath.c_str(), format);
  if (file == nullptr) return false;
  std::vector<unsigned char> data(bytes);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    data[2 * i] = static_cast<unsigned char>(samples[i] & 0xFF);
    data[2 * i + 1] = static_cast<unsigned char>((samples[i] >> 8) & 0xFF);
  }
  const bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  return std::fclose(file) == 0 && ok;
}

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::vector<unsigned char> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  unsigned char chunk[1 << 16];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  return bytes;
}

std::u16string Wide(const std::string& text) {
  std::u16string wide;
  wavfx::Utf8ToUtf16(text, wide);
  return wide;
}

// Runs a chain that reshapes the stream through the C API's flow calls, in blocks of 1000 frames
// with 777 frames of output room, and hashes the output's channels, rate and samples.
// A stream the chain does not fit: its one line is the outcome.
std::string RefusalHash(const std::string& message) {
  wavfx::testing::Sha256 hash;
  wavfx::testing::Sha256Init(hash);
  wavfx::testing::Sha256Update(hash, message.data(), message.size());
  return wavfx::testing::Sha256Hex(hash);
}

std::string RunReshaping(const Job& job, const std::string& chain) {
  const auto samples = wavfx::testing::MakeSignal(job.signal);
  wavfx_error error;
  wavfx_effect* effect =
      wavfx_chain_create(chain.c_str(), job.signal.channels, job.signal.sampleRate, &error);
  std::vector<int16_t> output;
  if (effect == nullptr) return RefusalHash(error.message);
  const std::size_t channels = wavfx_effect_output_channels(effect);
  std::vector<int16_t> room(777 * channels);
  const std::size_t frames = samples.size() / job.signal.channels;
  for (std::size_t at = 0; at < frames;) {
    std::size_t consumed = 0, produced = 0;
    wavfx_effect_flow_int16(effect, samples.data() + at * job.signal.channels,
                            std::min<std::size_t>(1000, frames - at), room.data(), 777, &consumed,
                            &produced);
    output.insert(output.end(), room.begin(), room.begin() + produced * channels);
    at += consumed;
  }
  for (std::size_t produced = 1; produced > 0;) {
    wavfx_effect_flush_int16(effect, room.data(), 777, &produced);
    output.insert(output.end(), room.begin(), room.begin() + produced * channels);
  }
  const std::string shape = std::to_string(channels) + " " +
                            std::to_string(wavfx_effect_output_sample_rate(effect)) + " ";
  wavfx_effect_destroy(effect);
  std::vector<unsigned char> bytes(shape.begin(), shape.end());
  for (const int16_t sample : output) {
    bytes.push_back(static_cast<unsigned char>(sample & 0xFF));
    bytes.push_back(static_cast<unsigned char>((sample >> 8) & 0xFF));
  }
  wavfx::testing::Sha256 hash;
  wavfx::testing::Sha256Init(hash);
  wavfx::testing::Sha256Update(hash, bytes.data(), bytes.size());
  return wavfx::testing::Sha256Hex(hash);
}

bool Reshapes(const std::string& chain) {
  wavfx::ChainRecipe recipe;
  wavfx::ChainError error;
  return IsChain(chain) && wavfx::ParseChain(chain, recipe, error) && wavfx::RecipeReshapes(recipe);
}

// The chain with its measurements given, taken of the signal in memory as the file job takes
// them of the file (16-bit samples over 32768).
bool MeasureFirst(const Job& job, const std::string& effect, wavfx::ChainRecipe& recipe) {
  const auto samples = wavfx::testing::MakeSignal(job.signal);
  std::vector<float> floats(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i)
    floats[i] = static_cast<float>(samples[i]) / 32768.0f;
  const std::size_t frames = samples.size() / job.signal.channels;
  std::vector<char> text(4096);
  wavfx_error problem{};
  if (wavfx_chain_measure(effect.c_str(), job.signal.channels, job.signal.sampleRate, floats.data(),
                          frames, text.data(), text.size(), &problem) == 0) {
    return false;
  }
  wavfx::ChainError error;
  return wavfx::ParseChain(text.data(), recipe, error);
}

// Runs one effect on one signal; returns the output's hash and checks its known samples.
std::string RunOne(const Job& job, const std::string& effect, const std::string& outputPath,
                   std::atomic<int>& failures) {
  if (Reshapes(effect)) return RunReshaping(job, effect);
  int32_t status = 0;
  if (IsChain(effect)) {
    wavfx::ChainRecipe recipe;
    wavfx::ChainError error;
    wavfx::JobOptions options;
    options.chain = &recipe;
    if (wavfx::ParseChain(effect, recipe, error) &&
        !wavfx::ChainFits(recipe, {job.signal.channels, job.signal.sampleRate}, error)) {
      return RefusalHash(error.message);
    }
    // Stages that need their input measured (norm, loudnorm) have it measured first, as a file
    // job does; in memory, so that builds without a file reader measure alike.
    const bool ready =
        wavfx::ParseChain(effect, recipe, error) &&
        (!wavfx::RecipeNeedsMeasurement(recipe) || MeasureFirst(job, effect, recipe));
    status = ready ? wavfx::StatusOf(wavfx::ApplyEffect(Wide(job.inputPath).c_str(),
                                                        Wide(outputPath).c_str(), u"", options))
                   : 0;
  } else {
    status = WAVEffect(Wide(job.inputPath).c_str(), Wide(outputPath).c_str(), Wide(effect).c_str());
  }
  const auto bytes = ReadAll(outputPath);
  std::remove(outputPath.c_str());
  if (status != 999) {
    std::fprintf(stderr, "%s: status %d\n", Key(effect, job.signal).c_str(), status);
    ++failures;
  }
  for (const KnownSample& known : kKnownSamples) {
    if (effect != known.effect || job.signal.name != known.signal ||
        job.signal.channels != known.channels || job.signal.sampleRate != known.sampleRate) {
      continue;
    }
    const std::size_t at = 44 + 2 * (known.frame * known.channels + known.channel);
    const auto value = at + 1 < bytes.size() ? static_cast<int16_t>(bytes[at] | bytes[at + 1] << 8)
                                             : static_cast<int16_t>(-1);
    if (value != known.expected) {
      std::fprintf(stderr, "%s: channel %u frame %zu is %d, expected %d\n",
                   Key(effect, job.signal).c_str(), known.channel, known.frame, value,
                   known.expected);
      ++failures;
    }
  }
  wavfx::testing::Sha256 hash;
  wavfx::testing::Sha256Init(hash);
  wavfx::testing::Sha256Update(hash, bytes.data(), bytes.size());
  return wavfx::testing::Sha256Hex(hash);
}

std::map<std::string, std::string> ReadTable(const char* path) {
  std::map<std::string, std::string> table;
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return table;
  char effect[256], signal[32], hex[80];
  unsigned channels, rate;
  while (std::fscanf(file, "%255s %31s %u %u %79s", effect, signal, &channels, &rate, hex) == 5) {
    table[std::string(effect) + " " + signal + " " + std::to_string(channels) + " " +
          std::to_string(rate)] = hex;
  }
  std::fclose(file);
  return table;
}

// Every effect over every signal: the hash of each output file by key. Returns false when a
// status or a known sample was wrong.
bool RunAll(std::map<std::string, std::string>& actual, bool reshaping = true) {
  char directory[] = "/tmp/wavfx-golden-XXXXXX";
  if (mkdtemp(directory) == nullptr) return false;
  std::vector<Job> jobs;
  for (const auto& name : wavfx::testing::SignalNames()) {
    for (uint32_t channels : wavfx::testing::SignalChannelCounts()) {
      for (uint32_t rate : wavfx::testing::SignalSampleRates()) {
        jobs.push_back({{name, channels, rate},
                        std::string(directory) + "/in-" + std::to_string(jobs.size()) + ".wav"});
      }
    }
  }
  auto effects = CanonicalEffects();
  const auto later = LaterFamilies();
  effects.insert(effects.end(), later.begin(), later.end());
  effects.insert(effects.end(), std::begin(kChains), std::end(kChains));
  std::vector<std::map<std::string, std::string>> results(jobs.size());
  std::atomic<std::size_t> next{0};
  std::atomic<int> failures{0};
  auto worker = [&] {
    for (std::size_t i; (i = next++) < jobs.size();) {
      if (!WriteInput(jobs[i])) {
        ++failures;
        continue;
      }
      for (const auto& effect : CanonicalEffects()) {
        if (!RunsDepths(jobs[i].signal)) break;
        for (int bits : kDepths) {
          results[i][Key(DepthName(effect, bits), jobs[i].signal)] =
              RunDepth(jobs[i], effect, bits);
        }
      }
      for (const auto& effect : effects) {
        if (IsChain(effect) && !RunsChains(jobs[i].signal)) continue;
        if (Reshapes(effect) && (!reshaping || !RunsReshaping(jobs[i].signal))) continue;
        const std::string output = jobs[i].inputPath + ".out.wav";
        results[i][Key(effect, jobs[i].signal)] = RunOne(jobs[i], effect, output, failures);
      }
      for (const char* effect : kDecimations) {
        if (!reshaping || !RunsDecimations(jobs[i].signal)) break;
        results[i][Key(effect, jobs[i].signal)] =
            RunOne(jobs[i], effect, jobs[i].inputPath + ".out.wav", failures);
      }
      std::remove(jobs[i].inputPath.c_str());
    }
  };
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t)
    pool.emplace_back(worker);
  for (auto& thread : pool)
    thread.join();
  rmdir(directory);

  actual.clear();
  for (const auto& result : results)
    actual.insert(result.begin(), result.end());
  if (failures > 0) std::fprintf(stderr, "%d known-value or status failures\n", failures.load());
  return failures == 0;
}

// Compares one run with the table; returns the number of differences.
int Compare(const std::map<std::string, std::string>& actual,
            const std::map<std::string, std::string>& expected) {
  int mismatches = 0;
  for (const auto& [key, hex] : actual) {
    const auto found = expected.find(key);
    if (found == expected.end() || found->second != hex) {
      if (++mismatches <= 20) std::fprintf(stderr, "mismatch: %s\n", key.c_str());
    }
  }
  if (expected.size() != actual.size()) {
    std::fprintf(stderr, "table has %zu entries, run produced %zu\n", expected.size(),
                 actual.size());
    ++mismatches;
  }
  return mismatches;
}

const char* PathName(wavfx::VectorPath path) {
  switch (path) {
    case wavfx::VectorPath::Scalar:
      return "scalar";
    case wavfx::VectorPath::Avx2:
      return "avx2";
    case wavfx::VectorPath::Avx512:
      return "avx512";
  }
  return "?";
}

// Rows of plain effect names go to the first table, chains to the second.
std::map<std::string, std::string> Part(const std::map<std::string, std::string>& all,
                                        bool chains) {
  std::map<std::string, std::string> part;
  for (const auto& [key, hex] : all) {
    if (IsExtended(key.substr(0, key.find(' '))) == chains) part[key] = hex;
  }
  return part;
}

bool WriteTable(const char* path, const std::map<std::string, std::string>& rows) {
  std::FILE* file = std::fopen(path, "w");
  if (file == nullptr) return false;
  for (const auto& [key, hex] : rows)
    std::fprintf(file, "%s %s\n", key.c_str(), hex.c_str());
  std::printf("wrote %zu golden hashes to %s\n", rows.size(), path);
  return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  // --widest-only checks the widest processing path alone (the sanitizer builds, where every
  // path costs minutes).
  const bool widestOnly = argc == 5 && std::strcmp(argv[4], "--widest-only") == 0;
  if (widestOnly) --argc;
  if (argc != 4 || (std::strcmp(argv[1], "--check") != 0 && std::strcmp(argv[1], "--write") != 0)) {
    std::fprintf(
        stderr,
        "usage: wavfx_golden --check TABLE EXTENDED_TABLE | --write TABLE EXTENDED_TABLE\n");
    return 2;
  }
  std::map<std::string, std::string> actual;
  if (std::strcmp(argv[1], "--write") == 0) {
    if (!RunAll(actual)) return 1;
    return WriteTable(argv[2], Part(actual, false)) && WriteTable(argv[3], Part(actual, true)) ? 0
                                                                                               : 2;
  }
  // Every processing path this processor can run must give the tables' bytes.
  auto expected = ReadTable(argv[2]);
  expected.merge(ReadTable(argv[3]));
  // The sanitizer builds leave the resampling chains to the unit tests: unoptimised, they would
  // take most of the run.
  if (widestOnly)
    std::erase_if(expected, [](const auto& row) {
      return Reshapes(row.first.substr(0, row.first.find(' ')));
    });
  int failed = 0;
  const wavfx::VectorPath widest = wavfx::ActiveVectorPath();
  for (auto path :
       {wavfx::VectorPath::Scalar, wavfx::VectorPath::Avx2, wavfx::VectorPath::Avx512}) {
    if (!wavfx::VectorPathAvailable(path)) continue;
    if (widestOnly && path != widest) continue;
    wavfx::SetVectorPathForTesting(path);
    const bool known = RunAll(actual, !widestOnly);
    const int mismatches = Compare(actual, expected);
    if (!known || mismatches > 0) {
      std::fprintf(stderr, "%s path: %d of %zu outputs differ from the tables\n", PathName(path),
                   mismatches, actual.size());
      ++failed;
    } else {
      std::printf("%s path: all %zu outputs match the tables\n", PathName(path), actual.size());
    }
  }
  wavfx::ResetVectorPathForTesting();
  return failed == 0 ? 0 : 1;
}
