#include "effects/mod_delay.h"

namespace wavfx {
void InitModDelay(ModDelayState&, int32_t, uint32_t, float, float, float, float, float, float) {}
void ProcessModDelay(ModDelayState&, int16_t*, int32_t) {}
void ReleaseModDelay(ModDelayState&) {}
}  // namespace wavfx
