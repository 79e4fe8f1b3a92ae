#include "effects/compressor.h"

namespace wavfx {
void InitCompressor(CompressorState&, int32_t, float, float, float, float, uint32_t) {}
void ProcessCompressor(CompressorState&, int16_t*, int32_t) {}
}  // namespace wavfx
