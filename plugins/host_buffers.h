#pragma once

#include <cstdint>

namespace wavfx {

// Copies between a host's buffers and the library's frames that read NaN and infinities as 0 on
// the way, as ProcessChainFloats does. `in` may be `out`.
void CopyFinite(const float* in, float* out, uint32_t count);
void InterleaveFinite(const float* left, const float* right, float* frames, uint32_t count);
void Deinterleave(const float* frames, float* left, float* right, uint32_t count);

}  // namespace wavfx
