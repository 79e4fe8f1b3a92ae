#include <lv2/core/lv2.h>

#include <vector>

#include "plugin_instance.h"

namespace wavfx {
namespace {

std::vector<LV2_Descriptor> MakeDescriptors();

const std::vector<LV2_Descriptor>& Descriptors() {
  static const std::vector<LV2_Descriptor> descriptors = MakeDescriptors();
  return descriptors;
}

PluginInstance& InstanceOf(LV2_Handle handle) {
  return *static_cast<PluginInstance*>(handle);
}

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double sampleRate, const char*,
                       const LV2_Feature* const*) {
  const auto index = static_cast<std::size_t>(descriptor - Descriptors().data());
  return CreatePluginInstance(PluginVariants()[index], sampleRate);
}

void Connect(LV2_Handle handle, uint32_t port, void* data) {
  ConnectPluginPort(InstanceOf(handle), port, data);
}

void Activate(LV2_Handle handle) {
  ActivatePluginInstance(InstanceOf(handle));
}

void Run(LV2_Handle handle, uint32_t frames) {
  RunPluginInstance(InstanceOf(handle), frames);
}

void Cleanup(LV2_Handle handle) {
  DestroyPluginInstance(static_cast<PluginInstance*>(handle));
}

const void* ExtensionData(const char*) {
  return nullptr;
}

std::vector<LV2_Descriptor> MakeDescriptors() {
  std::vector<LV2_Descriptor> descriptors;
  for (const PluginVariant& variant : PluginVariants()) {
    descriptors.push_back({variant.uri.c_str(), &Instantiate, &Connect, &Activate, &Run, nullptr,
                           &Cleanup, &ExtensionData});
  }
  return descriptors;
}

}  // namespace
}  // namespace wavfx

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  const auto& descriptors = wavfx::Descriptors();
  return index < descriptors.size() ? &descriptors[index] : nullptr;
}
