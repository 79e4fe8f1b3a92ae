#include "entry/general_job.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "dsp/packed_pcm.h"
#include "dsp/pcm_conversion.h"
#include "engine/chain.h"
#include "formats/sound_file.h"
#include "formats/wav_extensible.h"

namespace wavfx {
namespace {

// Samples per block; frames wider than this are taken one at a time.
constexpr std::size_t kBlockSamples = 1 << 15;

bool SameFile(const char* a, const char* b) {
  struct stat first, second;
  return stat(a, &first) == 0 && stat(b, &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

uint64_t TailFrames(double seconds, int sampleRate) {
  if (!(seconds > 0)) return 0;
  return static_cast<uint64_t>(std::round(seconds * sampleRate));
}

// One block's samples in every representation the edge may need.
struct Block {
  std::vector<int32_t> ints;
  std::vector<float> floats;
  std::vector<double> doubles;
  std::vector<unsigned char> stored;  // integer samples as the file holds them
};

// How a file's samples travel: through libsndfile's conversions, or as stored, when `packed`
// is set, with the general path's own.
struct Samples {
  SampleFormat format;
  bool packed;
  PackedLayout layout;
};

bool SameStorage(const Samples& a, const Samples& b) {
  return a.packed && b.packed && a.layout.bytes == b.layout.bytes &&
         a.layout.bigEndian == b.layout.bigEndian &&
         a.layout.unsignedBytes == b.layout.unsignedBytes;
}

// Reads up to `frames` frames in the input's own representation. Integers come back as their
// native value (s, not libsndfile's left-justified one), or only as stored when `storedOnly`.
sf_count_t ReadNative(SNDFILE* file, const Samples& samples, Block& block, sf_count_t frames,
                      std::size_t channels, bool storedOnly) {
  switch (samples.format.kind) {
    case SampleKind::Float32:
      return sf_readf_float(file, block.floats.data(), frames);
    case SampleKind::Float64:
      return sf_readf_double(file, block.doubles.data(), frames);
    case SampleKind::Int:
      break;
  }
  if (samples.packed) {
    const auto frameBytes = static_cast<sf_count_t>(channels) * samples.layout.bytes;
    const sf_count_t got = sf_read_raw(file, block.stored.data(), frames * frameBytes) / frameBytes;
    if (!storedOnly && got > 0) {
      UnpackInts(block.stored.data(), block.ints.data(), static_cast<std::size_t>(got) * channels,
                 samples.layout);
    }
    return got;
  }
  const sf_count_t got = sf_readf_int(file, block.ints.data(), frames);
  const int shift = 32 - samples.format.bits;
  for (std::size_t i = 0; i < static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) * channels;
       ++i)
    block.ints[i] >>= shift;
  return got;
}

// Writes `frames` frames held as `samples` says (integers by value, or as stored when
// `storedOnly`).
sf_count_t WriteNative(SNDFILE* file, const Samples& samples, Block& block, sf_count_t frames,
                       std::size_t channels, bool storedOnly) {
  switch (samples.format.kind) {
    case SampleKind::Float32:
      return sf_writef_float(file, block.floats.data(), frames);
    case SampleKind::Float64:
      return sf_writef_double(file, block.doubles.data(), frames);
    case SampleKind::Int:
      break;
  }
  if (samples.packed) {
    const auto frameBytes = static_cast<sf_count_t>(channels) * samples.layout.bytes;
    if (!storedOnly) {
      PackInts(block.ints.data(), block.stored.data(), static_cast<std::size_t>(frames) * channels,
               samples.layout);
    }
    return sf_write_raw(file, block.stored.data(), frames * frameBytes) / frameBytes;
  }
  const int shift = 32 - samples.format.bits;
  for (std::size_t i = 0; i < static_cast<std::size_t>(frames) * channels; ++i) {
    block.ints[i] = static_cast<int32_t>(static_cast<uint32_t>(block.ints[i]) << shift);
  }
  return sf_writef_int(file, block.ints.data(), frames);
}

// The input's samples as the effects' floats; returns the non-finite ones found.
void ToFloats(const SampleFormat& samples, Block& block, std::size_t count) {
  if (samples.kind == SampleKind::Int) {
    IntsToFloats(block.ints.data(), block.floats.data(), count, samples.bits);
  } else if (samples.kind == SampleKind::Float64) {
    for (std::size_t i = 0; i < count; ++i)
      block.floats[i] = static_cast<float>(block.doubles[i]);
  }
}

// The floats in the output's representation; returns the samples clamped.
uint64_t FromFloats(const SampleFormat& samples, Block& block, std::size_t count) {
  if (samples.kind == SampleKind::Int) {
    return FloatsToInts(block.floats.data(), block.ints.data(), count, samples.bits);
  }
  if (samples.kind == SampleKind::Float64) {
    for (std::size_t i = 0; i < count; ++i)
      block.doubles[i] = static_cast<double>(block.floats[i]);
  }
  return 0;
}

bool SameSamples(const SampleFormat& a, const SampleFormat& b) {
  return a.kind == b.kind && a.bits == b.bits;
}

}  // namespace

JobResult RunGeneralJob(const GeneralJob& job) {
  JobResult result;
  SoundInfo input;
  std::string reason;
  SoundFile in = OpenSoundForReading(job.input, -1, input, reason);
  if (in == nullptr) {
    result.reason = std::string("cannot read '") + job.input + "': " + reason;
    result.unreadable = true;
    return result;
  }
  if (SameFile(job.input, job.output)) {
    result.reason = "input and output are the same file";
    return result;
  }
  OutputChoice choice;
  if (!ChooseOutput(job.output, job.format, job.bits, input, choice, reason)) {
    result.reason = reason;
    return result;
  }
  const auto channels = static_cast<std::size_t>(input.channels);
  const std::unique_ptr<EffectChain> chain(new (std::nothrow) EffectChain);
  if (chain == nullptr) {
    result.reason = "out of memory";
    return result;
  }
  const ChainRecipe recipe = job.chain != nullptr ? *job.chain : RecipeOfName("none");
  const bool ready = InitChain(*chain, recipe, static_cast<uint32_t>(channels),
                               static_cast<uint32_t>(input.sampleRate));
  const auto release = [&chain] { ReleaseChain(*chain); };
  const std::size_t blockFrames = std::max<std::size_t>(kBlockSamples / channels, 1);
  Block block;
  if (!ready) {
    release();
    result.reason = "out of memory";
    return result;
  }
  block.ints.resize(blockFrames * channels);
  block.floats.resize(blockFrames * channels);
  block.doubles.resize(input.samples.kind == SampleKind::Float64 ||
                               choice.samples.kind == SampleKind::Float64
                           ? blockFrames * channels
                           : 0);

  SF_INFO outputInfo{};
  outputInfo.channels = input.channels;
  outputInfo.samplerate = input.sampleRate;
  // WAV is written as RF64 that stays plain RIFF while the data fits its 32-bit sizes.
  const bool wav = (choice.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV;
  outputInfo.format = wav ? (choice.format & SF_FORMAT_SUBMASK) | SF_FORMAT_RF64 : choice.format;
  SoundFile out(sf_open(job.output, SFM_WRITE, &outputInfo));
  if (out == nullptr) {
    release();
    result.reason = std::string("cannot create '") + job.output + "': " + sf_strerror(nullptr);
    return result;
  }
  if (wav) sf_command(out.get(), SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  CopyMetadata(in.get(), out.get());

  Samples from{input.samples, false, {}};
  Samples to{choice.samples, false, {}};
  if (input.samples.kind == SampleKind::Int) from.packed = StoredLayoutOf(in.get(), from.layout);
  if (choice.samples.kind == SampleKind::Int) to.packed = StoredLayoutOf(out.get(), to.layout);
  if (from.packed || to.packed) block.stored.resize(blockFrames * channels * sizeof(int32_t));
  const bool changes = ChainChangesAudio(*chain);
  const bool native = !changes && SameSamples(input.samples, choice.samples);
  // Samples that pass unchanged into the same storage are copied as bytes.
  const bool copyStored = native && SameStorage(from, to);
  const uint64_t total = input.frames > 0 ? static_cast<uint64_t>(input.frames) : 0;
  const uint64_t tail = TailFrames(job.tailSeconds, input.sampleRate);
  const auto report = [&] {
    if (job.progress != nullptr) job.progress(job.progressContext, result.frames, total + tail);
  };
  // Writes `frames` frames held as floats (or, when `raw`, in the input's representation).
  const auto emit = [&](std::size_t frames, bool raw) {
    if (!raw) result.clipped += FromFloats(choice.samples, block, frames * channels);
    if (WriteNative(out.get(), to, block, static_cast<sf_count_t>(frames), channels,
                    raw && copyStored) != static_cast<sf_count_t>(frames)) {
      result.outcome = StreamOutcome::WriteFailed;
      result.reason = std::string("write failed: ") + sf_strerror(out.get());
      return false;
    }
    result.frames += frames;
    report();
    return true;
  };
  result.outcome = StreamOutcome::Complete;
  uint64_t framesRead = 0;
  report();
  for (;;) {
    const sf_count_t got = ReadNative(in.get(), from, block, static_cast<sf_count_t>(blockFrames),
                                      channels, copyStored);
    if (got <= 0) break;
    const auto frames = static_cast<std::size_t>(got);
    framesRead += frames;
    if (!native) {
      ToFloats(input.samples, block, frames * channels);
      // Integer samples are always finite; only float files need the check.
      if (input.samples.kind == SampleKind::Int) {
        ProcessChainFinite(*chain, block.floats.data(), frames);
      } else {
        result.nonFinite += ProcessChainFloats(*chain, block.floats.data(), frames);
      }
    }
    if (!emit(frames, native)) break;
  }
  if (result.outcome == StreamOutcome::Complete && sf_error(in.get()) != SF_ERR_NO_ERROR) {
    result.outcome = StreamOutcome::ReadFailed;
    result.reason = std::string("read failed: ") + sf_strerror(in.get());
  }
  // A lossless file that decodes to fewer frames than it declares is corrupt or cut short, as a
  // WAV file shorter than its data chunk is. (Lossy decoders only estimate their length.)
  if (result.outcome == StreamOutcome::Complete && !input.lossy && input.frames > 0 &&
      framesRead < static_cast<uint64_t>(input.frames)) {
    result.outcome = StreamOutcome::ReadFailed;
    result.reason = "read failed: " + std::to_string(framesRead) + " of the " +
                    std::to_string(input.frames) + " frames the file declares could be decoded";
  }
  for (uint64_t left = tail; result.outcome == StreamOutcome::Complete && left > 0;) {
    const auto frames = static_cast<std::size_t>(std::min<uint64_t>(left, blockFrames));
    std::fill_n(block.floats.begin(), frames * channels, 0.0f);
    ProcessChainFloats(*chain, block.floats.data(), frames);
    if (!emit(frames, false)) break;
    left -= frames;
  }
  release();
  if (!CloseOutput(out.release(), result.frames) && result.outcome != StreamOutcome::WriteFailed) {
    result.outcome = StreamOutcome::WriteFailed;
    result.reason = "write failed when closing the output";
  }
  if (wav && result.outcome != StreamOutcome::WriteFailed) {
    CopyWavExtensible(job.input, job.output);
  }
  return result;
}

}  // namespace wavfx
