#include "entry/general_job.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "dsp/sample_conversion.h"
#include "engine/chain.h"
#include "engine/chain_flow.h"
#include "entry/pending_output.h"
#include "entry/reshaping_job.h"
#include "formats/sample_blocks.h"
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

// The input's exact length in frames when its header gives it: uncompressed samples in a regular
// file, whose reader gives the frames the header declares, cut to what the file holds. 0 when
// not known: a pipe ends where it ends, and a compressed file may decode fewer frames.
uint64_t KnownLength(const char* path, const SoundInfo& input) {
  const int encoding = input.format & SF_FORMAT_SUBMASK;
  struct stat info;
  if (encoding < SF_FORMAT_PCM_S8 || encoding > SF_FORMAT_DOUBLE ||
      (input.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC || input.frames <= 0 ||
      stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
    return 0;
  }
  return static_cast<uint64_t>(input.frames);
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
  ChainRecipe recipe = job.chain != nullptr ? *job.chain : RecipeOfName("none");
  const StreamShape received{static_cast<uint32_t>(input.channels),
                             static_cast<uint32_t>(input.sampleRate)};
  ChainError misfit;
  if (!ChainFits(recipe, received, misfit)) {
    result.reason = misfit.message;
    return result;
  }
  // What the output holds: the stream the chain produces.
  SoundInfo produced = input;
  const StreamShape shape = ChainOutputShape(recipe, received);
  produced.channels = static_cast<int>(shape.channels);
  produced.sampleRate = static_cast<int>(shape.sampleRate);
  OutputChoice choice;
  if (!ChooseOutput(job.output, job.format, job.bits, produced, choice, reason)) {
    result.reason = reason;
    return result;
  }
  FollowOutputDepth(recipe, choice.samples.kind == SampleKind::Int ? choice.samples.bits : 32);
  const auto channels = static_cast<std::size_t>(input.channels);
  const std::unique_ptr<EffectChain> chain(new (std::nothrow) EffectChain);
  if (chain == nullptr) {
    result.reason = "out of memory";
    return result;
  }
  const uint64_t tail = TailFrames(job.tailSeconds, input.sampleRate);
  const uint64_t length = KnownLength(job.input, input);
  const bool ready =
      InitChain(*chain, recipe, static_cast<uint32_t>(channels),
                static_cast<uint32_t>(input.sampleRate), length > 0 ? length + tail : 0);
  const auto release = [&chain] { ReleaseChain(*chain); };
  const std::size_t blockFrames = std::max<std::size_t>(kBlockSamples / channels, 1);
  if (!ready) {
    release();
    result.reason = "out of memory";
    return result;
  }
  PendingOutput pending;
  const int descriptor = CreatePendingOutput(job.output, pending);
  if (descriptor < 0) {
    release();
    result.reason = std::string("cannot create '") + job.output + "': " + std::strerror(errno);
    return result;
  }
  SoundFile out = OpenSoundForWriting(job.output, descriptor, produced.channels,
                                      produced.sampleRate, choice.format, reason);
  if (out == nullptr) {
    release();
    close(descriptor);
    DiscardPendingOutput(pending);
    result.reason = reason;
    return result;
  }
  CopyMetadata(in.get(), out.get());

  const SampleStorage from = StorageOf(in.get(), input.samples);
  const SampleStorage to = StorageOf(out.get(), choice.samples);
  SampleBlock block;
  block.Reserve(blockFrames * channels, from);
  block.Reserve(blockFrames * channels, to);
  const bool changes = ChainChangesAudio(*chain);
  const bool native = !changes && input.samples == choice.samples;
  // Samples that pass unchanged into the same storage are copied as bytes.
  const bool copyStored = native && SameStorage(from, to);
  const uint64_t total = input.frames > 0 ? static_cast<uint64_t>(input.frames) : 0;
  // 16-bit PCM to be processed is read as stored and converted in one pass.
  const bool pcm16 = !native && IsPcm16(from);
  const auto report = [&] {
    if (job.progress != nullptr) job.progress(job.progressContext, result.frames, total + tail);
  };
  // Writes `frames` frames held as floats (or, when `raw`, in the input's representation).
  const auto emit = [&](std::size_t frames, bool raw) {
    const bool storedOnly =
        raw ? copyStored : FromFloatsForWriting(to, block, frames * channels, result.clipped);
    if (WriteSamples(out.get(), to, block, static_cast<sf_count_t>(frames), channels, storedOnly) !=
        static_cast<sf_count_t>(frames)) {
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
  bool readAll = true;
  report();
  if (chain->reshapes) {
    const ReshapingFiles files{in.get(),       out.get(), from, to, static_cast<uint32_t>(channels),
                               shape.channels, tail};
    framesRead = StreamReshapingChain(files, *chain, result,
                                      {job.progress, job.progressContext, total + tail});
    // A chain that stopped wanting input (a trim) left the rest of the file unread.
    readAll = ChainWantsInput(*chain);
  }
  for (; !chain->reshapes;) {
    const sf_count_t got = ReadSamples(in.get(), from, block, static_cast<sf_count_t>(blockFrames),
                                       channels, copyStored || pcm16);
    if (got <= 0) break;
    const auto frames = static_cast<std::size_t>(got);
    framesRead += frames;
    if (pcm16) {
      SamplesToFloats(reinterpret_cast<const int16_t*>(block.stored.data()), block.floats.data(),
                      frames * channels);
    } else if (!native) {
      ToFloats(input.samples, block, frames * channels);
    }
    if (!native) {
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
  if (result.outcome == StreamOutcome::Complete && readAll && !job.inputWasPiped) {
    result.reason = ShortfallOf(input, framesRead);
    if (!result.reason.empty()) result.outcome = StreamOutcome::ReadFailed;
  }
  for (uint64_t left = chain->reshapes ? 0 : tail;
       result.outcome == StreamOutcome::Complete && left > 0;) {
    const auto frames = static_cast<std::size_t>(std::min<uint64_t>(left, blockFrames));
    std::fill_n(block.floats.begin(), frames * channels, 0.0f);
    ProcessChainFloats(*chain, block.floats.data(), frames);
    if (!emit(frames, false)) break;
    left -= frames;
  }
  release();
  const bool closed = CloseOutput(out.release(), result.frames);
  if (!(close(descriptor) == 0 && closed) && result.outcome != StreamOutcome::WriteFailed) {
    result.outcome = StreamOutcome::WriteFailed;
    result.reason = "write failed when closing the output";
  }
  if ((choice.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV &&
      result.outcome != StreamOutcome::WriteFailed) {
    const std::string& written = pending.temporary.empty() ? pending.path : pending.temporary;
    CopyWavExtensible(job.input, written.c_str());
  }
  if (!SettlePendingOutput(pending, result.outcome)) {
    result.outcome = StreamOutcome::WriteFailed;
    result.reason = std::string("cannot replace '") + job.output + "': " + std::strerror(errno);
  }
  return result;
}

}  // namespace wavfx
