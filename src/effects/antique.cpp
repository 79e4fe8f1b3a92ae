#include "effects/antique.h"

namespace wavfx {
void InitAntique(AntiqueState&, uint32_t) {}
void ProcessAntique(AntiqueState&, int16_t*, int32_t, uint32_t) {}
}  // namespace wavfx
