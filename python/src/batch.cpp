#include "batch.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "arrays.h"
#include "blocks.h"
#include "engine/chain_flow.h"
#include "engine/chain_measure.h"
#include "meter.h"

namespace wavfx::python {
namespace {

// What one item made: the samples of a chain that reshapes (interleaved; a chain that works in
// place writes into the batch's result instead), or why it failed.
template <typename Held>
struct Item {
  Samples<Held> samples;
  std::string error;
};

struct Batch {
  const ChainRecipe* recipe;
  std::string text;
  uint32_t sampleRate;
  std::vector<AudioView> in;
  std::vector<AudioView> out;  // empty when the chain reshapes
};

AudioView ItemView(const py::array& audio, std::size_t index, SampleType type, bool channelsLast) {
  const int channelAxis = channelsLast ? 2 : 1;
  const int frameAxis = 3 - channelAxis;
  const auto offset = static_cast<std::ptrdiff_t>(index) * audio.strides(0);
  return {type,
          static_cast<std::size_t>(audio.shape(channelAxis)),
          static_cast<std::size_t>(audio.shape(frameAxis)),
          static_cast<char*>(const_cast<void*>(audio.data())) + offset,
          audio.strides(channelAxis),
          audio.strides(frameAxis)};
}

py::array NewBatch(SampleType type, std::size_t count, std::size_t channels, std::size_t frames,
                   bool channelsLast) {
  const auto b = static_cast<py::ssize_t>(count), c = static_cast<py::ssize_t>(channels),
             f = static_cast<py::ssize_t>(frames);
  return py::array(DtypeOf(type), channelsLast ? std::vector{b, f, c} : std::vector{b, c, f});
}

template <typename Stored, typename Held>
void RunItem(const Batch& batch, std::size_t index, Item<Held>& item) {
  const AudioView& in = batch.in[index];
  std::string text = batch.text;
  if (RecipeNeedsMeasurement(*batch.recipe)) {
    const auto recipe = std::make_unique<ChainRecipe>(*batch.recipe);
    if (!MeasureRecipe(*recipe, in, batch.sampleRate, item.error)) return;
    text = RecipeText(*recipe);
  }
  wavfx_error error;
  wavfx_effect* effect = wavfx_chain_create(text.c_str(), static_cast<uint32_t>(in.channels),
                                            batch.sampleRate, &error);
  if (effect == nullptr) {
    item.error = error.message;
    return;
  }
  if (batch.out.empty()) {
    item.samples = FlowBlocks<Stored, Held>(effect, &in, true);
  } else {
    RunBlocks<Stored, Held>(effect, in, batch.out[index]);
  }
  wavfx_effect_destroy(effect);
}

// Calls work(i) for every i below count, spread over `threads` threads.
template <typename Work>
void Spread(std::size_t count, std::size_t threads, const Work& work) {
  std::atomic<std::size_t> next{0};
  const auto run = [&] {
    for (std::size_t i = next++; i < count; i = next++)
      work(i);
  };
  std::vector<std::jthread> pool;
  for (std::size_t t = 1; t < threads; ++t)
    pool.emplace_back(run);
  run();
}

}  // namespace

py::array ProcessBatch(const std::string& chain, const py::array& audio, uint32_t sampleRate,
                       bool channelsLast, std::size_t threads) {
  const auto recipe = std::make_unique<ChainRecipe>();
  ChainError error;
  if (!ParseChain(chain, *recipe, error)) throw py::value_error(error.message);
  if (sampleRate == 0) throw py::value_error("the sample rate must be above 0 Hz");
  const SampleType type = SampleTypeOf(audio);
  if (audio.ndim() != 3) {
    throw py::value_error(
        "a batch must have the shape (batch, channels, frames) or, with channels_last, (batch, "
        "frames, channels); it has " +
        std::to_string(audio.ndim()) + " dimensions");
  }
  const auto count = static_cast<std::size_t>(audio.shape(0));
  const auto channels = static_cast<std::size_t>(audio.shape(channelsLast ? 2 : 1));
  CheckChannels(channels, channelsLast);
  const StreamShape in{static_cast<uint32_t>(channels), sampleRate};
  if (!ChainFits(*recipe, in, error)) throw py::value_error(error.message);

  Batch batch{recipe.get(), chain, sampleRate, {}, {}};
  py::array result;
  const bool reshapes = RecipeReshapes(*recipe);
  if (!reshapes) {
    result = NewBatch(type, count, channels, ItemView(audio, 0, type, channelsLast).frames,
                      channelsLast);
  }
  for (std::size_t i = 0; i < count; ++i) {
    batch.in.push_back(ItemView(audio, i, type, channelsLast));
    if (!reshapes) batch.out.push_back(ItemView(result, i, type, channelsLast));
  }
  return WithType(type, [&](auto sample) {
    using Stored = decltype(sample);
    using Held = HeldOf<Stored>;
    std::vector<Item<Held>> items(count);
    {
      py::gil_scoped_release release;
      const std::size_t workers =
          std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(count, 1));
      Spread(count, workers, [&](std::size_t i) { RunItem<Stored>(batch, i, items[i]); });
    }
    for (std::size_t i = 0; i < count; ++i) {
      if (!items[i].error.empty())
        throw py::value_error("batch item " + std::to_string(i) + ": " + items[i].error);
    }
    if (!reshapes) return result;
    const std::size_t outChannels = ChainOutputShape(*recipe, in).channels;
    const std::size_t frames = count == 0 ? 0 : items[0].samples.size() / outChannels;
    for (std::size_t i = 1; i < count; ++i) {
      if (items[i].samples.size() != frames * outChannels) {
        throw py::value_error("the chain gives items of different lengths (item 0: " +
                              std::to_string(frames) + " frames, item " + std::to_string(i) + ": " +
                              std::to_string(items[i].samples.size() / outChannels) + ")");
      }
    }
    result = NewBatch(type, count, outChannels, frames, channelsLast);
    for (std::size_t i = 0; i < count; ++i)
      Scatter<Stored>(items[i].samples.data(), ItemView(result, i, type, channelsLast), 0, frames);
    return result;
  });
}

}  // namespace wavfx::python
