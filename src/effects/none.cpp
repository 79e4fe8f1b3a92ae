#include "effects/none.h"

namespace wavfx {
namespace {

void Init(void*, const StageValues&, StreamShape) {}

bool Never(const void*) {
  return false;
}

}  // namespace

const EffectFamily kNoneFamily = {
    {"none", nullptr, 0, "copies the audio unchanged", nullptr, 0},
    nullptr,
    {.stateSize = 0, .init = Init, .changesAudio = Never},
};

}  // namespace wavfx
