#include "effects/reverb.h"

namespace wavfx {
bool InitCombFilter(CombFilter&, uint32_t) { return false; }
float RunCombFilter(CombFilter&, float input, float) { return input; }
void ReleaseCombFilter(CombFilter&) {}
void InitReverb(ReverbState&, int32_t, uint32_t) {}
void ProcessReverb(ReverbState&, int16_t*, int32_t) {}
void ReleaseReverb(ReverbState&) {}
}  // namespace wavfx
