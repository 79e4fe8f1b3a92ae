#include "engine/chain_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace wavfx {
namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

// Splits `text` at the first `separator`: `head` before it, the rest after it (empty when none).
std::string_view Split(std::string_view& text, char separator) {
  const std::size_t at = text.find(separator);
  const std::string_view head = text.substr(0, at);
  text = at == std::string_view::npos ? std::string_view{} : text.substr(at + 1);
  return head;
}

// Text from the caller as a message quotes it: control characters become '?', so that a
// message stays one line.
std::string Printable(std::string_view text) {
  std::string printable(text);
  for (char& c : printable) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return printable;
}

// "stage 2 (echo)": how a message names a stage.
std::string StageName(uint32_t index, std::string_view name) {
  return "stage " + std::to_string(index + 1) + " (" + Printable(name) + ")";
}

std::string Range(const wavfx_parameter_info& parameter) {
  std::string range = FormatNumber(parameter.minimum) + " to " + FormatNumber(parameter.maximum);
  if (parameter.unit[0] != '\0') range += std::string(" ") + parameter.unit;
  return range;
}

bool Fail(ChainError& error, int32_t code, std::string message) {
  error.code = code;
  error.message = std::move(message);
  return false;
}

// `key` ignoring the case of A-Z equals `name`.
bool KeyIs(std::string_view key, const char* name) {
  std::size_t i = 0;
  for (; i < key.size() && name[i] != '\0'; ++i) {
    const char folded = key[i] >= 'A' && key[i] <= 'Z' ? static_cast<char>(key[i] + 32) : key[i];
    if (folded != name[i]) break;
  }
  return i == key.size() && name[i] == '\0';
}

// The parameter that `key` names, itself or by an alias (then `alias` points to it).
const wavfx_parameter_info* FindParameter(const EffectFamily& family, std::string_view key,
                                          std::size_t& index, const ParameterAlias*& alias) {
  const auto parameters = ParametersOf(family);
  alias = nullptr;
  for (index = 0; index < parameters.size(); ++index) {
    if (KeyIs(key, parameters[index].name)) return &parameters[index];
  }
  for (index = 0; family.syntax != nullptr && index < parameters.size(); ++index) {
    const ParameterSyntax& syntax = family.syntax[index];
    for (std::size_t i = 0; i < syntax.aliasCount; ++i) {
      if (KeyIs(key, syntax.aliases[i].name)) {
        alias = &syntax.aliases[i];
        return &parameters[index];
      }
    }
  }
  return nullptr;
}

std::string ParameterList(const EffectFamily& family) {
  std::string list;
  for (const wavfx_parameter_info& parameter : ParametersOf(family)) {
    list += (list.empty() ? "" : ", ") + std::string(parameter.name);
  }
  return list.empty() ? "it takes none" : "it takes " + list;
}

bool ParseValue(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const char* end = text.data() + text.size();
  const auto [stop, problem] = std::from_chars(text.data(), end, value);
  return !text.empty() && problem == std::errc{} && stop == end && std::isfinite(value);
}

// A choice by name, ignoring the case of A-Z; its value is the name's place in the list.
bool ParseChoice(std::string_view text, const ParameterSyntax& syntax, double& value,
                 const std::string& named, ChainError& error) {
  std::string names;
  for (std::size_t i = 0; i < syntax.choiceCount; ++i) {
    if (EffectNameEquals(text, syntax.choices[i])) {
      value = static_cast<double>(i);
      return true;
    }
    if (i > 0) names += ", ";
    names += syntax.choices[i];
  }
  if (ParseValue(text, value) && value == std::floor(value) && value >= 0 &&
      value < static_cast<double>(syntax.choiceCount)) {
    return true;
  }
  return Fail(error, WAVFX_ERROR_BAD_VALUE, named + " is not one of " + names);
}

// The most frames a time given as a count may name: exact in a double.
constexpr double kMaxFrames = 9007199254740992.0;

// A time given as a whole number of frames: "4410s".
bool ParseFrames(std::string_view text, std::size_t index, EffectSettings& settings,
                 const std::string& named, ChainError& error) {
  double frames = 0;
  if (!ParseValue(text.substr(0, text.size() - 1), frames) || frames != std::floor(frames) ||
      !(frames >= 0 && frames <= kMaxFrames)) {
    return Fail(
        error, WAVFX_ERROR_BAD_VALUE,
        named + " is not a whole number of frames (0s to " + FormatNumber(kMaxFrames) + "s)");
  }
  settings.values[index] = frames;
  settings.samples |= 1u << index;
  return true;
}

// Text parameter `index` of `family` takes `text`; the stage's texts stay in their order.
bool ParseText(std::string_view text, const EffectFamily& family, std::size_t index,
               EffectSettings& settings, const std::string& named, ChainError& error) {
  std::string texts;
  std::size_t others = 0;
  for (std::size_t p = 0, n = 0; p < family.info.parameter_count; ++p) {
    if (!family.syntax[p].text) continue;
    const std::string_view kept = StageText(settings, n++);
    texts.append(p == index ? text : kept).push_back('\0');
    others += p == index ? 0 : kept.size() + 1;
  }
  if (texts.size() > kMaxStageText) {
    return Fail(error, WAVFX_ERROR_BAD_VALUE,
                named.substr(0, named.find('\'')) + "is longer than " +
                    std::to_string(kMaxStageText - 1 - others) + " characters");
  }
  std::fill(std::copy(texts.begin(), texts.end(), settings.text), std::end(settings.text), '\0');
  return true;
}

// A number on an alias's scale, taken as the value it gives the parameter.
bool ParseAliasValue(std::string_view text, const ParameterAlias& alias,
                     const wavfx_parameter_info& parameter, double& value, const std::string& named,
                     ChainError& error) {
  double given = 0;
  if (!ParseValue(text, given)) {
    return Fail(error, WAVFX_ERROR_BAD_VALUE, named + " is not a finite number");
  }
  const double converted = alias.value(given);
  if (!(converted >= parameter.minimum && converted <= parameter.maximum)) {
    return Fail(error, WAVFX_ERROR_OUT_OF_RANGE,
                named + " is out of range (as " + parameter.name + ": " + Range(parameter) + ")");
  }
  value = converted;
  return true;
}

bool ParseOption(std::string_view option, const EffectFamily& family, const std::string& stage,
                 EffectSettings& settings, bool (&given)[kMaxParameters], ChainError& error) {
  std::string_view rest = option;
  const std::string_view key = Trim(Split(rest, '='));
  const std::string_view text = Trim(rest);
  if (option.find('=') == std::string_view::npos) {
    return Fail(error, WAVFX_ERROR_BAD_VALUE,
                stage + ": '" + Printable(Trim(option)) + "' needs the form key=value");
  }
  std::size_t index = 0;
  const ParameterAlias* alias = nullptr;
  const wavfx_parameter_info* parameter = FindParameter(family, key, index, alias);
  if (parameter == nullptr) {
    return Fail(
        error, WAVFX_ERROR_UNKNOWN_PARAMETER,
        stage + ": unknown parameter '" + Printable(key) + "' (" + ParameterList(family) + ")");
  }
  const std::string named = stage + ": " + (alias != nullptr ? alias->name : parameter->name) +
                            " '" + Printable(text) + "'";
  if (given[index]) {
    return Fail(error, WAVFX_ERROR_DUPLICATE, named + " given twice");
  }
  given[index] = true;
  const ParameterSyntax* syntax = family.syntax != nullptr ? &family.syntax[index] : nullptr;
  if (alias != nullptr)
    return ParseAliasValue(text, *alias, *parameter, settings.values[index], named, error);
  if (syntax != nullptr && syntax->text)
    return ParseText(text, family, index, settings, named, error);
  if (syntax != nullptr && syntax->choices != nullptr) {
    return ParseChoice(text, *syntax, settings.values[index], named, error);
  }
  if (syntax != nullptr && syntax->time && text.size() > 1 && (text.back() == 's')) {
    return ParseFrames(text, index, settings, named, error);
  }
  double value = 0;
  if (!ParseValue(text, value)) {
    return Fail(error, WAVFX_ERROR_BAD_VALUE,
                named + " is not a finite number (" + Range(*parameter) + ")");
  }
  if (parameter->integer != 0 && value != std::floor(value)) {
    return Fail(error, WAVFX_ERROR_BAD_VALUE,
                named + " is not a whole number (" + Range(*parameter) + ")");
  }
  if (!(value >= parameter->minimum && value <= parameter->maximum)) {
    return Fail(error, WAVFX_ERROR_OUT_OF_RANGE,
                named + " is out of range (" + Range(*parameter) + ")");
  }
  settings.values[index] = value;
  return true;
}

bool CheckConsistent(const EffectFamily& family, const EffectSettings& settings,
                     const std::string& stage, ChainError& error) {
  std::string problem;
  if (family.ops.check == nullptr || family.ops.check(settings, problem)) return true;
  return Fail(error, WAVFX_ERROR_CONFLICT, stage + ": " + problem);
}

bool ParseStage(std::string_view text, uint32_t index, EffectSettings& settings,
                ChainError& error) {
  std::string_view options = text;
  const std::string_view name = Trim(Split(options, '='));
  if (name.empty()) {
    return Fail(error, WAVFX_ERROR_EMPTY_STAGE,
                "stage " + std::to_string(index + 1) + " is empty: an effect name is missing");
  }
  const EffectFamily* family = FindEffectFamily(name);
  if (family == nullptr) {
    return Fail(error, WAVFX_ERROR_UNKNOWN_EFFECT,
                StageName(index, name) + ": unknown effect (wavfx --list shows them)");
  }
  const std::string stage = StageName(index, family->info.name);
  settings = DefaultSettings(*family);
  bool given[kMaxParameters] = {};
  if (text.find('=') != std::string_view::npos) {
    for (bool last = false; !last;) {
      last = options.find(':') == std::string_view::npos;
      const std::string_view option = Split(options, ':');
      if (Trim(option).empty()) {
        return Fail(error, WAVFX_ERROR_BAD_VALUE, stage + ": an empty key=value");
      }
      if (!ParseOption(option, *family, stage, settings, given, error)) return false;
    }
  }
  return CheckConsistent(*family, settings, stage, error);
}

}  // namespace

bool IsPlainName(std::string_view text) {
  if (text.find_first_of("=,") != std::string_view::npos) return false;
  const EffectFamily* family = FindEffectFamily(text);
  return family == nullptr || IsClassicFamily(*family);
}

bool ParseChain(std::string_view text, ChainRecipe& recipe, ChainError& error) {
  recipe.count = 0;
  error = ChainError{};
  if (Trim(text).empty()) return Fail(error, WAVFX_ERROR_EMPTY_STAGE, "the chain is empty");
  std::string_view rest = text;
  for (bool last = false; !last;) {
    last = rest.find(',') == std::string_view::npos;
    const std::string_view stage = Split(rest, ',');
    if (recipe.count == kMaxStages) {
      return Fail(error, WAVFX_ERROR_TOO_MANY_STAGES,
                  "a chain has at most " + std::to_string(kMaxStages) + " stages");
    }
    if (!ParseStage(stage, recipe.count, recipe.stages[recipe.count], error)) return false;
    ++recipe.count;
  }
  return true;
}

}  // namespace wavfx
