#include "entry/reshaping_job.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>

#include "dsp/sample_conversion.h"
#include "engine/chain_flow.h"

namespace wavfx {
namespace {

// Samples per block on either side of the chain.
constexpr std::size_t kBlockSamples = 1 << 15;

// How samples travel through the chain: as the effects' floats, as libsndfile gives them (a chain
// that only copies, between files of one format), as the file stores them (the same, between
// files of one signed layout), or as floats converted straight from and to 16-bit PCM as stored.
enum class Carriage { Floats, AsRead, Stored, Pcm16 };

Carriage CarriageOf(const ReshapingFiles& files, EffectChain& chain) {
  if (ChainCopiesOnly(chain) && files.from.format == files.to.format) {
    // Stored zero bytes are silence unless the samples are unsigned.
    const bool stored = SameStorage(files.from, files.to) && !files.from.layout.unsignedBytes;
    return stored ? Carriage::Stored : Carriage::AsRead;
  }
  return IsPcm16(files.from) && IsPcm16(files.to) ? Carriage::Pcm16 : Carriage::Floats;
}

bool StoredOnly(Carriage carriage) {
  return carriage == Carriage::Stored || carriage == Carriage::Pcm16;
}

// Where a block keeps the samples the chain moves.
unsigned char* Samples(SampleBlock& block, const SampleFormat& format, Carriage carriage) {
  if (carriage == Carriage::Stored) return block.stored.data();
  if (carriage == Carriage::AsRead && format.kind == SampleKind::Int) {
    return reinterpret_cast<unsigned char*>(block.ints.data());
  }
  if (carriage == Carriage::AsRead && format.kind == SampleKind::Float64) {
    return reinterpret_cast<unsigned char*>(block.doubles.data());
  }
  return reinterpret_cast<unsigned char*>(block.floats.data());
}

std::size_t SampleBytes(const SampleStorage& storage, Carriage carriage) {
  if (carriage == Carriage::Stored) return static_cast<std::size_t>(storage.layout.bytes);
  return carriage == Carriage::AsRead && storage.format.kind == SampleKind::Float64 ? sizeof(double)
                                                                                    : sizeof(float);
}

int16_t* Pcm16(SampleBlock& block) {
  return reinterpret_cast<int16_t*>(block.stored.data());
}

struct Writer {
  const ReshapingFiles& files;
  SampleBlock& block;
  Carriage carriage;
  JobResult& result;

  bool Write(std::size_t frames) {
    if (frames == 0) return true;
    const std::size_t count = frames * files.outChannels;
    bool storedOnly = carriage == Carriage::Stored;
    if (carriage == Carriage::Pcm16 || carriage == Carriage::Floats) {
      storedOnly = FromFloatsForWriting(files.to, block, count, result.clipped);
    }
    const auto wrote = WriteSamples(files.out, files.to, block, static_cast<int64_t>(frames),
                                    files.outChannels, storedOnly);
    if (wrote != static_cast<int64_t>(frames)) {
      result.outcome = StreamOutcome::WriteFailed;
      result.reason = std::string("write failed: ") + sf_strerror(files.out);
      return false;
    }
    result.frames += frames;
    return true;
  }
};

}  // namespace

uint64_t StreamReshapingChain(const ReshapingFiles& files, EffectChain& chain, JobResult& result,
                              const ReshapingProgress& progress) {
  const SampleFormat& inFormat = files.from.format;
  const Carriage carriage = CarriageOf(files, chain);
  const std::size_t bytes = SampleBytes(files.from, carriage);
  const std::size_t inFrames = std::max<std::size_t>(kBlockSamples / files.inChannels, 1);
  const std::size_t outFrames =
      std::max<std::size_t>(kBlockSamples / std::max<uint32_t>(files.outChannels, 1), 1);
  SampleBlock in;
  SampleBlock out;
  in.Reserve(inFrames * files.inChannels, files.from);
  out.Reserve(outFrames * files.outChannels, files.to);
  Writer writer{files, out, carriage, result};
  uint64_t fed = 0;
  const auto report = [&](std::size_t frames) {
    fed += frames;
    if (progress.callback != nullptr) progress.callback(progress.context, fed, progress.total);
  };
  unsigned char* outSamples = Samples(out, inFormat, carriage);

  // Moves `frames` frames of the input block through the chain, writing every full output block.
  const auto push = [&](std::size_t frames) {
    const unsigned char* at = Samples(in, inFormat, carriage);
    const std::size_t frameBytes = files.inChannels * bytes;
    while (frames > 0) {
      std::size_t consumed = 0;
      std::size_t produced = 0;
      FlowChain(chain, at, frames, outSamples, outFrames, bytes, consumed, produced);
      if (!writer.Write(produced)) return false;
      at += consumed * frameBytes;
      frames -= consumed;
    }
    return true;
  };

  uint64_t framesRead = 0;
  while (ChainWantsInput(chain)) {
    const int64_t got = ReadSamples(files.in, files.from, in, static_cast<int64_t>(inFrames),
                                    files.inChannels, StoredOnly(carriage));
    if (got <= 0) break;
    const auto frames = static_cast<std::size_t>(got);
    framesRead += frames;
    if (carriage == Carriage::Pcm16) {
      SamplesToFloats(Pcm16(in), in.floats.data(), frames * files.inChannels);
    } else if (carriage == Carriage::Floats) {
      ToFloats(inFormat, in, frames * files.inChannels);
      if (inFormat.kind != SampleKind::Int) {
        result.nonFinite += ZeroNonFinite(in.floats.data(), frames * files.inChannels);
      }
    }
    if (!push(frames)) return framesRead;
    report(frames);
  }
  for (uint64_t left = files.tailFrames; left > 0 && ChainWantsInput(chain);) {
    const auto frames = static_cast<std::size_t>(std::min<uint64_t>(left, inFrames));
    std::fill_n(Samples(in, inFormat, carriage), frames * files.inChannels * bytes,
                static_cast<unsigned char>(0));
    if (!push(frames)) return framesRead;
    report(frames);
    left -= frames;
  }
  for (;;) {
    const std::size_t flushed = DrainChain(chain, outSamples, outFrames, bytes);
    if (flushed == 0 || !writer.Write(flushed)) break;
  }
  return framesRead;
}

}  // namespace wavfx
