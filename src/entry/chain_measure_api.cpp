#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/chain_flow.h"
#include "engine/chain_measure.h"
#include "entry/measure_pass.h"
#include "wavfx/wavfx.h"

namespace {

std::size_t Refuse(wavfx_error* error, int32_t code, const std::string& message) {
  if (error != nullptr) {
    error->code = code;
    const std::size_t size = std::min(message.size(), sizeof error->message - 1);
    std::memcpy(error->message, message.data(), size);
    error->message[size] = '\0';
  }
  return 0;
}

}  // namespace

extern "C" WAVFX_API size_t wavfx_chain_measure(const char* chain, uint32_t channels,
                                                uint32_t sample_rate, const float* samples,
                                                size_t frames, char* text, size_t room,
                                                wavfx_error* error) noexcept {
  using namespace wavfx;
  Refuse(error, WAVFX_OK, "");
  if (chain == nullptr) return Refuse(error, WAVFX_ERROR_NULL_ARGUMENT, "no chain given");
  if (channels == 0 || sample_rate == 0) {
    return Refuse(error, WAVFX_ERROR_BAD_STREAM, "a stream needs channels and a sample rate");
  }
  if (samples == nullptr && frames > 0) {
    return Refuse(error, WAVFX_ERROR_NULL_ARGUMENT, "no samples given");
  }
  try {
    auto recipe = std::make_unique<ChainRecipe>();
    ChainError problem;
    if (!ParseChain(chain, *recipe, problem) ||
        !ChainFits(*recipe, {channels, sample_rate}, problem)) {
      return Refuse(error, problem.code, problem.message);
    }
    const InputPass pass = [&](const FrameSink& sink, std::string&) {
      sink(samples, frames);
      return true;
    };
    std::vector<StageMeasurement> measured;
    std::string reason;
    if (!MeasureStageInputs(*recipe, channels, sample_rate, pass, measured, reason, false)) {
      return Refuse(error, WAVFX_ERROR_OUT_OF_RANGE, reason);
    }
    const std::string written = RecipeText(*recipe);
    if (text != nullptr && room > 0) {
      const std::size_t size = std::min(written.size(), room - 1);
      std::memcpy(text, written.data(), size);
      text[size] = '\0';
    }
    return written.size();
  } catch (const std::bad_alloc&) {
    return Refuse(error, WAVFX_ERROR_NO_MEMORY, "out of memory");
  }
}
