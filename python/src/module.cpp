#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>

#include "arrays.h"
#include "batch.h"
#include "engine/chain_flow.h"
#include "engine/chain_text.h"
#include "engine/registry.h"
#include "meter.h"
#include "sound_io.h"
#include "stream.h"
#include "wavfx/wavfx.h"

namespace py = pybind11;

namespace wavfx::python {
namespace {

// How a parameter is written, as the command line's JSON says: its kind, a choice's names and
// the parameter's aliases.
void AddSyntax(py::dict& parameter, const ParameterSyntax* syntax) {
  const bool choice = syntax != nullptr && syntax->choices != nullptr;
  parameter["kind"] = choice                              ? "choice"
                      : syntax != nullptr && syntax->time ? "time"
                      : syntax != nullptr && syntax->text ? "text"
                                                          : "number";
  if (choice) {
    py::list names;
    for (std::size_t i = 0; i < syntax->choiceCount; ++i)
      names.append(syntax->choices[i]);
    parameter["choices"] = names;
  }
  if (syntax == nullptr || syntax->aliasCount == 0) return;
  py::list aliases;
  for (std::size_t i = 0; i < syntax->aliasCount; ++i)
    aliases.append(syntax->aliases[i].name);
  parameter["aliases"] = aliases;
}

py::list Effects() {
  py::list effects;
  for (const EffectFamily* family : EffectFamilies()) {
    const wavfx_effect_info& info = family->info;
    py::list aliases, parameters;
    for (std::size_t a = 0; a < info.alias_count; ++a)
      aliases.append(info.aliases[a]);
    for (std::size_t p = 0; p < info.parameter_count; ++p) {
      const wavfx_parameter_info& parameter = info.parameters[p];
      py::dict entry(py::arg("name") = parameter.name, py::arg("unit") = parameter.unit,
                     py::arg("default") = parameter.default_value,
                     py::arg("min") = parameter.minimum, py::arg("max") = parameter.maximum,
                     py::arg("integer") = parameter.integer != 0);
      AddSyntax(entry, family->syntax != nullptr ? &family->syntax[p] : nullptr);
      entry["description"] = parameter.description;
      parameters.append(entry);
    }
    effects.append(py::dict(py::arg("name") = info.name, py::arg("aliases") = aliases,
                            py::arg("description") = info.description,
                            py::arg("parameters") = parameters));
  }
  return effects;
}

// [(effect name, {parameter: value})] for each stage, every parameter included: a number, or the
// text of a text parameter or of a sample count ("4410s"), as the chain's text gives them back.
py::list ParseStages(const std::string& text) {
  const auto parsed = std::make_unique<ChainRecipe>();
  ChainError error;
  if (!ParseChain(text, *parsed, error)) throw py::value_error(error.message);
  py::list stages;
  for (uint32_t i = 0; i < parsed->count; ++i) {
    const EffectFamily& family = FamilyOf(parsed->stages[i].kind);
    py::dict values;
    const EffectSettings& stage = parsed->stages[i];
    const auto parameters = ParametersOf(family);
    for (std::size_t p = 0, texts = 0; p < parameters.size(); ++p) {
      const bool isText = family.syntax != nullptr && family.syntax[p].text;
      if (isText) {
        values[parameters[p].name] = std::string(StageText(stage, texts++));
      } else if ((stage.samples >> p & 1u) != 0) {
        values[parameters[p].name] = FormatNumber(stage.values[p]) + "s";
      } else {
        values[parameters[p].name] = stage.values[p];
      }
    }
    stages.append(py::make_tuple(family.info.name, values));
  }
  return stages;
}

// (channels, sample rate) that the chain produces from a stream of the given ones.
py::tuple OutputShape(const std::string& text, uint32_t channels, uint32_t sampleRate) {
  const auto parsed = std::make_unique<ChainRecipe>();
  ChainError error;
  if (!ParseChain(text, *parsed, error) || !ChainFits(*parsed, {channels, sampleRate}, error)) {
    throw py::value_error(error.message);
  }
  const StreamShape shape = ChainOutputShape(*parsed, {channels, sampleRate});
  return py::make_tuple(shape.channels, shape.sampleRate);
}

py::tuple ProcessFile(const std::string& input, const std::string& output, const std::string& chain,
                      double tail, std::optional<std::string> format,
                      std::optional<std::string> bits) {
  const wavfx_file_options options{tail, format ? format->c_str() : nullptr,
                                   bits ? bits->c_str() : nullptr};
  wavfx_file_result result{};
  {
    py::gil_scoped_release release;
    wavfx_process_file(input.c_str(), output.c_str(), chain.c_str(), &options, &result);
  }
  return py::make_tuple(result.outcome, result.frames, result.clipped, result.non_finite,
                        std::string(result.message));
}

}  // namespace
}  // namespace wavfx::python

PYBIND11_MODULE(_core, m) {
  using namespace wavfx::python;
  m.doc() = "The compiled part of wavfx; use the wavfx package.";
  m.attr("version") = wavfx_version();
  m.attr("MAX_CHANNELS") = kMaxChannels;
  m.def("effects", &Effects);
  m.def("parse_chain", &ParseStages, py::arg("text"));
  m.def("output_shape", &OutputShape, py::arg("text"), py::arg("channels"), py::arg("sample_rate"));
  m.def("process_file", &ProcessFile, py::arg("input"), py::arg("output"), py::arg("chain"),
        py::arg("tail"), py::arg("format"), py::arg("bits"));
  m.def("read", &ReadSound, py::arg("path"), py::arg("channels_last"));
  m.def("info", &SoundFileInfo, py::arg("path"));
  m.def("write", &WriteSound, py::arg("path"), py::arg("audio"), py::arg("sample_rate"),
        py::arg("format"), py::arg("bits"), py::arg("channels_last"));
  py::class_<Stream>(m, "Stream")
      .def(py::init<std::string>(), py::arg("chain"))
      .def("process", &Stream::Process, py::arg("audio"), py::arg("sample_rate"),
           py::arg("channels_last"))
      .def("tail", &Stream::Tail, py::arg("seconds"))
      .def("flush", &Stream::Flush)
      .def("reset", &Stream::Reset)
      .def_property_readonly("text", &Stream::text);
  m.def("clip_to_unit", &ClipToUnit, py::arg("audio"), py::arg("in_place"));
  m.def("process_batch", &ProcessBatch, py::arg("chain"), py::arg("audio"), py::arg("sample_rate"),
        py::arg("channels_last"), py::arg("threads"));
  m.def("measure_file", &MeasureFile, py::arg("path"));
  m.def("measure_chain", &MeasureChain, py::arg("text"), py::arg("audio"), py::arg("sample_rate"),
        py::arg("channels_last"));
  py::class_<PyMeter>(m, "Meter")
      .def(py::init<std::size_t, uint32_t>(), py::arg("channels"), py::arg("sample_rate"))
      .def("add", &PyMeter::Add, py::arg("audio"), py::arg("channels_last"))
      .def("results", &PyMeter::Results);
}
