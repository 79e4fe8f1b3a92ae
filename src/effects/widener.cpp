#include "effects/widener.h"

namespace wavfx {
void InitWidener(WidenerState&, float, uint32_t) {}
void ProcessWidener(WidenerState&, int16_t*, int32_t) {}
}  // namespace wavfx
