#include "batch.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "arrays.h"
#include "blocks.h"
#include "engine/chain_flow.h"
#include "engine/chain_measure.h"
#include "engine/registry.h"
#include "meter.h"

namespace wavfx::python {
namespace {

// What one item made: its frames (those of a chain that reshapes may run past the result's, which
// holds item 0's count), or why it failed.
struct Item {
  std::size_t frames = 0;
  std::string error;
};

// Takes a reshaping chain's output into an item of the result: straight into it when its frames
// are interleaved samples of the chain's type, through a block otherwise; frames beyond the
// item's are counted and dropped.
template <typename Stored, typename Held>
struct ItemSink {
  const AudioView& out;
  bool direct;
  Samples<Held> block;
  std::size_t made = 0;
  bool inBlock = false;

  Held* Space(std::size_t& room) {
    const std::size_t channels = out.channels;
    inBlock = !direct || made >= out.frames;
    if (!inBlock) {
      room = out.frames - made;
      return reinterpret_cast<Held*>(out.data) + made * channels;
    }
    room = block.size() / channels;
    return block.data();
  }
  void Took(std::size_t frames) {
    if (inBlock && made < out.frames)
      Scatter<Stored>(block.data(), out, made, std::min(frames, out.frames - made));
    made += frames;
  }
};

struct Batch {
  const ChainRecipe* recipe;
  std::string text;
  uint32_t sampleRate;
  std::vector<AudioView> in;
  std::vector<AudioView> out;
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

// Runs item `index` into `out` (the result's item), or, for the first item of a chain that
// reshapes, before the result exists, into `first`.
template <typename Stored, typename Held>
void RunItem(const Batch& batch, std::size_t index, bool reshapes, Item& item,
             Samples<Held>* first = nullptr) {
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
  if (first != nullptr) {
    *first = FlowBlocks<Stored, Held>(effect, &in, true);
    item.frames = first->size() / wavfx_effect_output_channels(effect);
  } else if (reshapes) {
    const AudioView& out = batch.out[index];
    const bool direct = std::is_same_v<Stored, Held> && Interleaved(out, sizeof(Held));
    const std::size_t blockFrames = std::max<std::size_t>(kBlockSamples / out.channels, 1);
    ItemSink<Stored, Held> sink{out, direct, Samples<Held>(blockFrames * out.channels)};
    FlowInto<Stored, Held>(effect, &in, true, sink);
    item.frames = sink.made;
  } else {
    RunBlocks<Stored, Held>(effect, in, batch.out[index]);
  }
  wavfx_effect_destroy(effect);
}

// Leading `speed` and `resample` stages convert each channel alone and alike, so a batch of floats
// runs them once over all its items as one stream of their channels, where an interpolated phase
// is mixed once a frame for all of them, and the rest of the chain item by item: the same bytes.
uint32_t JointStages(const ChainRecipe& recipe) {
  uint32_t count = 0;
  while (count < recipe.count) {
    const std::string_view name = FamilyOf(recipe.stages[count].kind).info.name;
    if (name != "speed" && name != "resample") break;
    ++count;
  }
  return count;
}

// The items' channels one after the other, as channels of one stream, where the layout allows.
bool JointView(const py::array& audio, SampleType type, bool channelsLast, AudioView& joint) {
  if (channelsLast || type != SampleType::Float32 || audio.shape(0) < 2) return false;
  const auto channels = static_cast<std::size_t>(audio.shape(0) * audio.shape(1));
  if (channels > kMaxChannels || audio.strides(0) != audio.shape(1) * audio.strides(1))
    return false;
  joint = {type,
           channels,
           static_cast<std::size_t>(audio.shape(2)),
           static_cast<char*>(const_cast<void*>(audio.data())),
           audio.strides(1),
           audio.strides(2)};
  return true;
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

// Interleaved frames to a row per channel (rows `stride` frames apart), from frame `at` on, a few
// frames at a time.
void Deinterleave(const float* in, std::size_t channels, std::size_t frames, float* rows,
                  std::size_t stride, std::size_t at) {
  constexpr std::size_t kFrames = 16;
  for (std::size_t first = 0; first < frames; first += kFrames) {
    const std::size_t count = std::min(kFrames, frames - first);
    for (std::size_t c = 0; c < channels; ++c) {
      float* row = rows + c * stride + at;
      for (std::size_t f = first; f < first + count; ++f)
        row[f] = in[f * channels + c];
    }
  }
}

// Takes a joint stream's output into its rows, through a block; frames beyond the rows' are
// counted and dropped.
struct RowSink {
  float* rows;
  std::size_t channels;
  std::size_t frames;
  Samples<float> block;
  std::size_t made = 0;

  float* Space(std::size_t& room) {
    room = block.size() / channels;
    return block.data();
  }
  void Took(std::size_t count) {
    if (made < frames)
      Deinterleave(block.data(), channels, std::min(count, frames - made), rows, frames, made);
    made += count;
  }
};

// Items of a batch a joint stream takes: their histories stay in the nearest caches.
constexpr std::size_t kJointChannels = 8;

// Runs the stages of `text` over the items of `all` (one stream of their channels, `channels`
// each), a few items a stream, the streams spread over `threads` threads, into `out`: a row of
// `frames` frames per channel. Returns the output's rate, 0 when a chain failed.
uint32_t RunJoint(const std::string& text, const AudioView& all, std::size_t channels,
                  uint32_t sampleRate, std::size_t threads, Samples<float>& out,
                  std::size_t& frames) {
  const std::size_t group = std::max<std::size_t>(kJointChannels / channels, 1) * channels;
  const std::size_t groups = (all.channels + group - 1) / group;
  std::vector<std::size_t> made(groups, 0);
  const auto part = [&](std::size_t g) {
    AudioView view = all;
    view.channels = std::min(group, all.channels - g * group);
    view.data += static_cast<std::ptrdiff_t>(g * group) * all.channelStride;
    return view;
  };
  const auto create = [&](const AudioView& view) {
    wavfx_error failure;
    return wavfx_chain_create(text.c_str(), static_cast<uint32_t>(view.channels), sampleRate,
                              &failure);
  };
  // The first stream gives the length; the others write straight into their rows.
  const AudioView first = part(0);
  wavfx_effect* effect = create(first);
  if (effect == nullptr) return 0;
  Samples<float> interleaved = FlowBlocks<float, float>(effect, &first, true);
  const uint32_t rate = wavfx_effect_output_sample_rate(effect);
  wavfx_effect_destroy(effect);
  frames = interleaved.size() / first.channels;
  out.resize(all.channels * frames);
  Deinterleave(interleaved.data(), first.channels, frames, out.data(), frames, 0);
  Recycle(std::move(interleaved));
  made[0] = frames;
  const std::size_t workers =
      std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(groups - 1, 1));
  Spread(groups - 1, workers, [&](std::size_t i) {
    const AudioView view = part(i + 1);
    wavfx_effect* stream = create(view);
    if (stream == nullptr) return;
    RowSink sink{
        out.data() + (i + 1) * group * frames, view.channels, frames,
        Samples<float>(std::max<std::size_t>(kBlockSamples / view.channels, 1) * view.channels)};
    FlowInto<float, float>(stream, &view, true, sink);
    wavfx_effect_destroy(stream);
    made[i + 1] = sink.made;
  });
  for (const std::size_t m : made) {
    if (m != frames) return 0;
  }
  return rate;
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
  for (std::size_t i = 0; i < count; ++i)
    batch.in.push_back(ItemView(audio, i, type, channelsLast));
  std::size_t frames = static_cast<std::size_t>(audio.shape(channelsLast ? 1 : 2));
  StreamShape shape = in;
  // The leading conversions over the whole batch, then the rest of the chain on their output.
  const uint32_t joint = JointStages(*recipe);
  AudioView all{};
  const auto rest = std::make_unique<ChainRecipe>();
  // The joint streams' output, kept by the thread for its next batch.
  Samples<float> converted = std::move(Spare<float, 1>());
  if (joint > 0 && !RecipeNeedsMeasurement(*recipe) && JointView(audio, type, channelsLast, all)) {
    {
      py::gil_scoped_release release;
      shape.sampleRate = RunJoint(RecipeText(PrefixOf(*recipe, joint)), all, channels, sampleRate,
                                  threads, converted, frames);
    }
    if (shape.sampleRate == 0) throw py::value_error("not enough memory for the batch");
    rest->count = recipe->count - joint;
    std::copy_n(recipe->stages + joint, rest->count, rest->stages);
    batch = {rest.get(), rest->count > 0 ? RecipeText(*rest) : "none", shape.sampleRate, {}, {}};
    for (std::size_t i = 0; i < count; ++i) {
      batch.in.push_back({type, channels, frames,
                          reinterpret_cast<char*>(converted.data() + i * channels * frames),
                          static_cast<std::ptrdiff_t>(frames * sizeof(float)),
                          static_cast<std::ptrdiff_t>(sizeof(float))});
    }
  }
  const bool reshapes = RecipeReshapes(*batch.recipe);
  const py::array result = WithType(type, [&](auto sample) {
    using Stored = decltype(sample);
    using Held = HeldOf<Stored>;
    std::vector<Item> items(count);
    const auto failed = [&](std::size_t i) {
      if (!items[i].error.empty())
        throw py::value_error("batch item " + std::to_string(i) + ": " + items[i].error);
    };
    // A chain that reshapes gives item 0's length to the result, which the others then fill.
    Samples<Held> first;
    if (reshapes) frames = 0;
    const std::size_t outChannels = ChainOutputShape(*batch.recipe, shape).channels;
    if (reshapes && count > 0) {
      {
        py::gil_scoped_release release;
        RunItem<Stored, Held>(batch, 0, true, items[0], &first);
      }
      failed(0);
      frames = items[0].frames;
    }
    py::array result = NewBatch(type, count, outChannels, frames, channelsLast);
    for (std::size_t i = 0; i < count; ++i)
      batch.out.push_back(ItemView(result, i, type, channelsLast));
    if (reshapes && count > 0) Scatter<Stored>(first.data(), batch.out[0], 0, frames);
    Recycle(std::move(first));
    const std::size_t start = reshapes && count > 0 ? 1 : 0;
    {
      py::gil_scoped_release release;
      const std::size_t workers =
          std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(count - start, 1));
      Spread(count - start, workers, [&](std::size_t i) {
        RunItem<Stored, Held>(batch, start + i, reshapes, items[start + i]);
      });
    }
    for (std::size_t i = start; i < count; ++i) {
      failed(i);
      if (reshapes && items[i].frames != frames) {
        throw py::value_error(
            "the chain gives items of different lengths (item 0: " + std::to_string(frames) +
            " frames, item " + std::to_string(i) + ": " + std::to_string(items[i].frames) + ")");
      }
    }
    return result;
  });
  Recycle<float, 1>(std::move(converted));
  return result;
}

}  // namespace wavfx::python
