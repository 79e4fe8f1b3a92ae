// Writes the LV2 bundle's manifest.ttl and one TTL per plugin from the registry.
// Usage: wavfx_lv2_ttl BUNDLE_DIR BINARY_NAME
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

#include "plugin_variants.h"

namespace wavfx {
namespace {

constexpr const char* kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n";

const std::map<std::string_view, const char*> kClasses = {
    {"antique", "lv2:FilterPlugin"},      {"echo", "lv2:DelayPlugin"},
    {"reverb", "lv2:ReverbPlugin"},       {"tremolo", "lv2:ModulatorPlugin"},
    {"distort", "lv2:DistortionPlugin"},  {"lowpass", "lv2:LowpassPlugin"},
    {"highpass", "lv2:HighpassPlugin"},   {"bitcrush", "lv2:DistortionPlugin"},
    {"flanger", "lv2:FlangerPlugin"},     {"chorus", "lv2:ChorusPlugin"},
    {"compress", "lv2:CompressorPlugin"}, {"widen", "lv2:SpatialPlugin"},
};

const std::map<std::string_view, const char*> kUnits = {
    {"Hz", "units:hz"}, {"ms", "units:ms"}, {"dB", "units:db"}, {"s", "units:s"}};

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

// The shortest decimal that reads back as `value`, with a point, as Turtle reads a decimal.
std::string Decimal(double value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
  std::string decimal(text, end);
  if (decimal.find('.') == std::string::npos) decimal += ".0";
  return decimal;
}

void WritePort(std::ostream& out, bool first, const std::string& body) {
  out << (first ? " [\n" : " , [\n") << body << "\t]";
}

std::string AudioPort(const PluginVariant& variant, bool output, uint32_t channel) {
  const uint32_t index = output ? AudioOutputPort(variant, channel) : AudioInputPort(channel);
  return std::string("\t\ta lv2:AudioPort, ") + (output ? "lv2:OutputPort" : "lv2:InputPort") +
         " ;\n\t\tlv2:index " + std::to_string(index) + " ;\n\t\tlv2:symbol " +
         Quoted(AudioPortSymbol(variant, output, channel)) + " ;\n\t\tlv2:name " +
         Quoted(AudioPortName(variant, output, channel)) + "\n";
}

std::string ControlPortBody(const PluginVariant& variant, std::size_t i) {
  const wavfx_parameter_info& parameter = ParametersOf(*variant.family)[i];
  std::string body =
      "\t\ta lv2:ControlPort, lv2:InputPort ;\n\t\tlv2:index " +
      std::to_string(ControlPort(variant, i)) + " ;\n\t\tlv2:symbol " + Quoted(parameter.name) +
      " ;\n\t\tlv2:name " + Quoted(ControlPortName(parameter, false)) + " ;\n\t\trdfs:comment " +
      Quoted(parameter.description) + " ;\n\t\tlv2:default " + Decimal(parameter.default_value) +
      " ;\n\t\tlv2:minimum " + Decimal(parameter.minimum) + " ;\n\t\tlv2:maximum " +
      Decimal(parameter.maximum);
  if (parameter.integer != 0) body += " ;\n\t\tlv2:portProperty lv2:integer";
  if (IsLogarithmic(parameter)) body += " ;\n\t\tlv2:portProperty pprops:logarithmic";
  const std::string_view unit = parameter.unit;
  if (const auto known = kUnits.find(unit); known != kUnits.end()) {
    body += std::string(" ;\n\t\tunits:unit ") + known->second;
  } else if (!unit.empty()) {
    body += " ;\n\t\tunits:unit [\n\t\t\ta units:Unit ;\n\t\t\trdfs:label " + Quoted(unit) +
            " ;\n\t\t\tunits:symbol " + Quoted(unit) + " ;\n\t\t\tunits:render " +
            Quoted(std::string("%f ") + std::string(unit)) + "\n\t\t]";
  }
  return body + "\n";
}

std::string LatencyPortBody(const PluginVariant& variant) {
  return "\t\ta lv2:ControlPort, lv2:OutputPort ;\n\t\tlv2:index " +
         std::to_string(LatencyPort(variant)) +
         " ;\n\t\tlv2:symbol \"latency\" ;\n\t\tlv2:name \"Latency\" ;\n"
         "\t\tlv2:designation lv2:latency ;\n\t\tlv2:portProperty lv2:reportsLatency, "
         "lv2:integer ;\n\t\tlv2:minimum 0 ;\n\t\tlv2:maximum 0 ;\n\t\tunits:unit units:frame\n";
}

void WritePlugin(std::ostream& out, const PluginVariant& variant) {
  const wavfx_effect_info& info = variant.family->info;
  const auto kind = kClasses.find(info.name);
  out << kPrefixes << '<' << variant.uri << ">\n\ta lv2:Plugin"
      << (kind != kClasses.end() ? std::string(", ") + kind->second : "") << " ;\n"
      << "\tdoap:name " << Quoted(variant.name) << " ;\n"
      << "\trdfs:comment " << Quoted(info.description) << " ;\n"
      << "\tlv2:optionalFeature lv2:hardRTCapable ;\n\tlv2:port";
  bool first = true;
  for (const bool output : {false, true}) {
    for (uint32_t c = 0; c < variant.channels; ++c) {
      WritePort(out, first, AudioPort(variant, output, c));
      first = false;
    }
  }
  for (std::size_t i = 0; i < info.parameter_count; ++i)
    WritePort(out, false, ControlPortBody(variant, i));
  WritePort(out, false, LatencyPortBody(variant));
  out << " .\n";
}

// Whether the parameter's name can be its port's symbol: a C identifier that no other port has.
bool IsFreeSymbol(const PluginVariant& variant, std::string_view text) {
  for (const bool output : {false, true}) {
    for (uint32_t c = 0; c < variant.channels; ++c) {
      if (text == AudioPortSymbol(variant, output, c)) return false;
    }
  }
  if (text == "latency") return false;
  if (text.empty() || (text[0] >= '0' && text[0] <= '9')) return false;
  for (const char c : text) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (!letter && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

}  // namespace
}  // namespace wavfx

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc != 3) {
    std::fprintf(stderr, "Usage: %s BUNDLE_DIR BINARY_NAME\n", argv[0]);
    return 2;
  }
  const fs::path bundle = argv[1];
  fs::create_directories(bundle);
  for (const auto& entry : fs::directory_iterator(bundle)) {
    if (entry.path().extension() == ".ttl") fs::remove(entry.path());
  }
  std::ofstream manifest(bundle / "manifest.ttl");
  manifest << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
              "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
  for (const wavfx::PluginVariant& variant : wavfx::PluginVariants()) {
    for (const auto& parameter : wavfx::ParametersOf(*variant.family)) {
      if (!wavfx::IsFreeSymbol(variant, parameter.name)) {
        std::fprintf(stderr, "%s: parameter '%s' cannot be an LV2 port symbol\n",
                     variant.label.c_str(), parameter.name);
        return 1;
      }
    }
    const std::string file = variant.label + ".ttl";
    manifest << "\n<" << variant.uri << ">\n\ta lv2:Plugin ;\n\tlv2:binary <" << argv[2]
             << "> ;\n\trdfs:seeAlso <" << file << "> .\n";
    std::ofstream plugin(bundle / file);
    wavfx::WritePlugin(plugin, variant);
    if (!plugin) {
      std::fprintf(stderr, "cannot write %s\n", (bundle / file).c_str());
      return 1;
    }
  }
  return manifest ? 0 : 1;
}
