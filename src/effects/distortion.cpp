#include "effects/distortion.h"

namespace wavfx {
float SoftClip(float v) { return v; }
void InitDistortion(DistortionState&, float, uint32_t) {}
void ProcessDistortion(DistortionState&, int16_t*, int32_t) {}
}  // namespace wavfx
