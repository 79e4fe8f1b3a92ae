#include "effects/one_pole.h"

namespace wavfx {
float OnePoleCoefficient(float, uint32_t) { return 0; }
void InitOnePole(OnePoleState&, uint32_t, float, uint32_t) {}
void ProcessLowpass(OnePoleState&, int16_t*, int32_t) {}
void ProcessHighpass(OnePoleState&, int16_t*, int32_t) {}
}  // namespace wavfx
