#include "entry/reshaping_job.h"

#include <sndfile.h>

#include <algorithm>

#include "engine/chain_flow.h"

namespace wavfx {
namespace {

// Samples per block on either side of the chain.
constexpr std::size_t kBlockSamples = 1 << 15;

// Where a block keeps its samples in the representation the chain moves: floats, or as read.
unsigned char* Samples(SampleBlock& block, const SampleFormat& format, bool asRead) {
  if (asRead && format.kind == SampleKind::Int) {
    return reinterpret_cast<unsigned char*>(block.ints.data());
  }
  if (asRead && format.kind == SampleKind::Float64) {
    return reinterpret_cast<unsigned char*>(block.doubles.data());
  }
  return reinterpret_cast<unsigned char*>(block.floats.data());
}

std::size_t SampleBytes(const SampleFormat& format, bool asRead) {
  return asRead && format.kind == SampleKind::Float64 ? sizeof(double) : sizeof(float);
}

struct Writer {
  const ReshapingFiles& files;
  SampleBlock& block;
  bool asRead;
  JobResult& result;

  bool Write(std::size_t frames) {
    if (frames == 0) return true;
    if (!asRead) {
      result.clipped += FromFloats(files.to.format, block, frames * files.outChannels);
    }
    const auto wrote = WriteSamples(files.out, files.to, block, static_cast<int64_t>(frames),
                                    files.outChannels, false);
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
  const bool asRead = ChainCopiesOnly(chain) && inFormat == files.to.format;
  const std::size_t bytes = SampleBytes(inFormat, asRead);
  const std::size_t inFrames = std::max<std::size_t>(kBlockSamples / files.inChannels, 1);
  const std::size_t outFrames =
      std::max<std::size_t>(kBlockSamples / std::max<uint32_t>(files.outChannels, 1), 1);
  SampleBlock in;
  SampleBlock out;
  in.Reserve(inFrames * files.inChannels, files.from);
  out.Reserve(outFrames * files.outChannels, files.to);
  Writer writer{files, out, asRead, result};
  uint64_t fed = 0;
  const auto report = [&](std::size_t frames) {
    fed += frames;
    if (progress.callback != nullptr) progress.callback(progress.context, fed, progress.total);
  };
  unsigned char* outSamples = Samples(out, inFormat, asRead);

  // Moves `frames` frames of the input block through the chain, writing every full output block.
  const auto push = [&](std::size_t frames) {
    const unsigned char* at = Samples(in, inFormat, asRead);
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
  for (;;) {
    const int64_t got = ReadSamples(files.in, files.from, in, static_cast<int64_t>(inFrames),
                                    files.inChannels, false);
    if (got <= 0) break;
    const auto frames = static_cast<std::size_t>(got);
    framesRead += frames;
    if (!asRead) {
      ToFloats(inFormat, in, frames * files.inChannels);
      if (inFormat.kind != SampleKind::Int) {
        result.nonFinite += ZeroNonFinite(in.floats.data(), frames * files.inChannels);
      }
    }
    if (!push(frames)) return framesRead;
    report(frames);
  }
  for (uint64_t left = files.tailFrames; left > 0;) {
    const auto frames = static_cast<std::size_t>(std::min<uint64_t>(left, inFrames));
    std::fill_n(Samples(in, inFormat, asRead), frames * files.inChannels * bytes,
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
