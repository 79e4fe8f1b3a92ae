#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "audio_view.h"
#include "wavfx/wavfx.h"

// Arrays through a chain's instance, in blocks of the effect's samples.
namespace wavfx::python {

// Samples per call into the effect, and in the scratch block of an array that is not
// interleaved: small enough (64 KiB of floats) for the allocator to hand back memory it already
// has, where a larger block would be fresh pages, and their faults, on every call.
constexpr std::size_t kBlockSamples = 1 << 14;

// The samples the effects take for an array's: doubles are rounded to floats.
template <typename Stored>
using HeldOf = std::conditional_t<std::is_same_v<Stored, double>, float, Stored>;

inline void ProcessBlock(wavfx_effect* effect, int16_t* samples, int32_t frames) {
  wavfx_effect_process(effect, samples, frames);
}
inline void ProcessBlock(wavfx_effect* effect, int32_t* samples, int32_t frames) {
  wavfx_effect_process_int32(effect, samples, frames);
}
inline void ProcessBlock(wavfx_effect* effect, float* samples, int32_t frames) {
  wavfx_effect_process_float(effect, samples, frames);
}

template <typename Stored, typename Held>
void RunBlocks(wavfx_effect* effect, const AudioView& in, const AudioView& out) {
  const std::size_t channels = in.channels;
  const std::size_t frames = std::max<std::size_t>(kBlockSamples / channels, 1);
  if constexpr (std::is_same_v<Stored, Held>) {
    if (Interleaved(out, sizeof(Held))) {  // processed in place in the output
      auto* samples = reinterpret_cast<Held*>(out.data);
      Gather<Stored>(in, 0, in.frames, samples);
      for (std::size_t first = 0; first < in.frames; first += frames) {
        const std::size_t count = std::min(frames, in.frames - first);
        ProcessBlock(effect, samples + first * channels, static_cast<int32_t>(count));
      }
      return;
    }
  }
  std::vector<Held> block(frames * channels);
  for (std::size_t first = 0; first < in.frames; first += frames) {
    const std::size_t count = std::min(frames, in.frames - first);
    Gather<Stored>(in, first, count, block.data());
    ProcessBlock(effect, block.data(), static_cast<int32_t>(count));
    Scatter<Stored>(block.data(), out, first, count);
  }
}

inline int32_t Flow(wavfx_effect* effect, const int16_t* in, std::size_t frames, int16_t* out,
                    std::size_t room, std::size_t* consumed, std::size_t* produced) {
  return wavfx_effect_flow_int16(effect, in, frames, out, room, consumed, produced);
}
inline int32_t Flow(wavfx_effect* effect, const int32_t* in, std::size_t frames, int32_t* out,
                    std::size_t room, std::size_t* consumed, std::size_t* produced) {
  return wavfx_effect_flow_int32(effect, in, frames, out, room, consumed, produced);
}
inline int32_t Flow(wavfx_effect* effect, const float* in, std::size_t frames, float* out,
                    std::size_t room, std::size_t* consumed, std::size_t* produced) {
  return wavfx_effect_flow_float(effect, in, frames, out, room, consumed, produced);
}
inline int32_t Flush(wavfx_effect* effect, int16_t* out, std::size_t room, std::size_t* produced) {
  return wavfx_effect_flush_int16(effect, out, room, produced);
}
inline int32_t Flush(wavfx_effect* effect, int32_t* out, std::size_t room, std::size_t* produced) {
  return wavfx_effect_flush_int32(effect, out, room, produced);
}
inline int32_t Flush(wavfx_effect* effect, float* out, std::size_t room, std::size_t* produced) {
  return wavfx_effect_flush_float(effect, out, room, produced);
}

// An allocator whose growth leaves new samples unset: a chain's output is written where it stays.
template <typename T>
struct Unset : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = Unset<U>;
  };
  Unset() = default;
  template <typename U>
  explicit Unset(const Unset<U>&) noexcept {}
  template <typename U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
};

template <typename T>
using Samples = std::vector<T, Unset<T>>;

// The thread's last output buffer, kept for its next call when it is small: its pages are
// mapped already, where a fresh buffer's would fault again on every call. A caller that holds
// one buffer while another flows takes a slot of its own.
constexpr std::size_t kSpareBytes = std::size_t{16} << 20;

template <typename Held, int kSlot = 0>
Samples<Held>& Spare() {
  thread_local Samples<Held> spare;
  return spare;
}

template <typename Held, int kSlot = 0>
void Recycle(Samples<Held>&& used) {
  if (used.capacity() * sizeof(Held) <= kSpareBytes) Spare<Held, kSlot>() = std::move(used);
}

// Runs a chain that reshapes the stream over `in` (none when null) and, when `flush`, to the
// end of the stream, handing what comes out to `sink`: `sink.Space(room)` gives where the next
// frames go (interleaved, the chain's samples) and sets `room` above 0, `sink.Took(frames)` says
// how many were written there. The chain reads an interleaved array of its own sample type where
// it lies.
template <typename Stored, typename Held, typename Sink>
void FlowInto(wavfx_effect* effect, const AudioView* in, bool flush, Sink& sink) {
  std::size_t room = 0;
  if (in != nullptr) {
    const std::size_t channels = in->channels;
    const std::size_t frames = std::max<std::size_t>(kBlockSamples / channels, 1);
    const bool direct = std::is_same_v<Stored, Held> && Interleaved(*in, sizeof(Stored));
    Samples<Held> block(direct ? 0 : frames * channels);
    // A chain that wants no more input (a trim past its end) is fed no further.
    for (std::size_t first = 0; first < in->frames && wavfx_effect_wants_input(effect) != 0;
         first += frames) {
      const std::size_t count = std::min(frames, in->frames - first);
      const Held* from = block.data();
      if (direct) {
        from = reinterpret_cast<const Held*>(in->data) + first * channels;
      } else {
        Gather<Stored>(*in, first, count, block.data());
      }
      for (std::size_t done = 0; done < count;) {
        std::size_t consumed = 0, produced = 0;
        Held* to = sink.Space(room);
        Flow(effect, from + done * channels, count - done, to, room, &consumed, &produced);
        sink.Took(produced);
        done += consumed;
      }
    }
  }
  for (std::size_t produced = flush ? 1 : 0; produced > 0;) {
    Held* to = sink.Space(room);
    Flush(effect, to, room, &produced);
    sink.Took(produced);
  }
}

// FlowInto, returning what came out, interleaved, as the chain's samples, written straight into
// the result (the thread's spare buffer when there is one: give it back with Recycle).
template <typename Stored, typename Held>
Samples<Held> FlowBlocks(wavfx_effect* effect, const AudioView* in, bool flush) {
  struct Growing {
    std::size_t channels;
    std::size_t firstFrames;
    std::size_t step;
    Samples<Held> output{};
    std::size_t made = 0;  // frames written to output
    // Free frames at the end of output, at least an eighth of `step` (twice the input and
    // `step` at first, then doubling).
    Held* Space(std::size_t& room) {
      if (output.size() < (made + (step + 7) / 8) * channels) {
        output.resize(
            std::max({(made + step) * channels, 2 * output.size(), firstFrames * channels}));
      }
      room = output.size() / channels - made;
      return output.data() + made * channels;
    }
    void Took(std::size_t frames) { made += frames; }
  };
  const std::size_t outChannels = wavfx_effect_output_channels(effect);
  const std::size_t step = std::max<std::size_t>(kBlockSamples / outChannels, 1);
  Growing sink{outChannels, (in != nullptr ? 2 * in->frames : 0) + step, step,
               std::move(Spare<Held>())};
  sink.output.clear();
  FlowInto<Stored, Held>(effect, in, flush, sink);
  sink.output.resize(sink.made * outChannels);
  return std::move(sink.output);
}

}  // namespace wavfx::python
