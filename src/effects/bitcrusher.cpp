#include "effects/bitcrusher.h"

namespace wavfx {
void InitBitcrusher(BitcrusherState&, int32_t, uint32_t) {}
void ProcessBitcrusher(BitcrusherState&, int16_t*, int32_t) {}
}  // namespace wavfx
