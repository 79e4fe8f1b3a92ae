#include "effects/tremolo.h"

namespace wavfx {
void InitTremolo(TremoloState&, int32_t, float, float, uint32_t) {}
void ProcessTremolo(TremoloState&, int16_t*, int32_t) {}
}  // namespace wavfx
