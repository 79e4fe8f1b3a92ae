#include "dsp/delay_line.h"

#include "dsp/sample_buffer.h"

namespace wavfx {

bool InitDelayLine(DelayLine& line, uint64_t length) {
  line.buffer = AllocateSamples(length);
  // AllocateSamples refuses more than kMaxSamplesPerBuffer, so the length fits.
  line.length = line.buffer != nullptr ? static_cast<uint32_t>(length) : 0;
  line.position = 0;
  return line.buffer != nullptr;
}

void ReleaseDelayLine(DelayLine& line) {
  FreeSamples(line.buffer);
  line.length = 0;
  line.position = 0;
}

}  // namespace wavfx
