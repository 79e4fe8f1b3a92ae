#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace wavfx {

// A circular history of floats: the echo's and the modulated delay's interleaved frames, one
// comb of the reverb.
struct DelayLine {
  float* buffer;  // owned; null when empty, released or not allocated
  uint32_t length;
  uint32_t position;
};

// Allocates `length` zeroed slots (see AllocateSamples). Returns whether it could; the line is
// left empty when not.
bool InitDelayLine(DelayLine& line, uint64_t length);
void ReleaseDelayLine(DelayLine& line);

// Walks `count` slots from the position on, which the position then passes, in runs of
// consecutive, distinct slots: each run ends at the buffer's end, where the next starts over.
// `run(slots, done, size)` gets each run's first slot, the slots walked before it and its size.
// The line must not be empty.
template <class Run>
void ForEachRun(DelayLine& line, std::size_t count, Run&& run) {
  for (std::size_t done = 0; done < count;) {
    const std::size_t size = std::min<std::size_t>(count - done, line.length - line.position);
    run(line.buffer + line.position, done, size);
    done += size;
    line.position += static_cast<uint32_t>(size);
    if (line.position >= line.length) line.position = 0;
  }
}

}  // namespace wavfx
