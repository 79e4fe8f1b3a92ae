#include "effects/echo.h"

namespace wavfx {
void InitEcho(EchoState&, uint32_t, uint32_t) {}
void ProcessEcho(EchoState&, int16_t*, int32_t) {}
void ReleaseEcho(EchoState&) {}
}  // namespace wavfx
