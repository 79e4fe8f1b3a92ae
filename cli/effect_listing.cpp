#include "effect_listing.h"

#include <cstdio>
#include <new>

#include "engine/registry.h"
#include "json_text.h"

namespace wavfx::cli {
namespace {

std::string Names(const EffectFamily& family) {
  std::string names = family.info.name;
  for (std::size_t i = 0; i < family.info.alias_count; ++i) {
    names += std::string(", ") + family.info.aliases[i];
  }
  return names;
}

const ParameterSyntax* SyntaxOf(const EffectFamily& family, std::size_t index) {
  return family.syntax != nullptr ? &family.syntax[index] : nullptr;
}

// How a parameter's values are written: "number", "choice", "time" or "text".
const char* KindName(const ParameterSyntax* syntax) {
  if (syntax == nullptr) return "number";
  if (syntax->choices != nullptr) return "choice";
  if (syntax->time) return "time";
  return syntax->text ? "text" : "number";
}

std::string Choices(const ParameterSyntax& syntax, const char* separator) {
  std::string list;
  for (std::size_t i = 0; i < syntax.choiceCount; ++i) {
    list += (i > 0 ? separator : "") + std::string(syntax.choices[i]);
  }
  return list;
}

// The default and the values a parameter takes, as the listing shows them.
std::string DefaultText(const EffectFamily& family, std::size_t index) {
  const wavfx_parameter_info& p = family.info.parameters[index];
  const ParameterSyntax* syntax = SyntaxOf(family, index);
  if (syntax != nullptr && syntax->choices != nullptr) {
    return syntax->choices[static_cast<std::size_t>(p.default_value)];
  }
  if (syntax != nullptr && syntax->text) return "";
  return FormatNumber(p.default_value);
}

std::string RangeText(const EffectFamily& family, std::size_t index) {
  const wavfx_parameter_info& p = family.info.parameters[index];
  const ParameterSyntax* syntax = SyntaxOf(family, index);
  if (syntax != nullptr && syntax->choices != nullptr) return Choices(*syntax, ", ");
  if (syntax != nullptr && syntax->text) return "text";
  const std::string range = FormatNumber(p.minimum) + " to " + FormatNumber(p.maximum);
  return syntax != nullptr && syntax->time ? range + ", or frames: Ns" : range;
}

void PrintParameters(const EffectFamily& family, const char* indent) {
  for (std::size_t i = 0; i < family.info.parameter_count; ++i) {
    const wavfx_parameter_info& p = family.info.parameters[i];
    std::printf("%s%-10s %-3s %8s  %-16s %s\n", indent, p.name, p.unit,
                DefaultText(family, i).c_str(), RangeText(family, i).c_str(), p.description);
  }
}

}  // namespace

void PrintEffectList() {
  std::printf("%-22s %s\n", "EFFECT (aliases)", "description");
  std::printf("    %-10s %-3s %8s  %-16s %s\n", "parameter", "", "default", "range", "meaning");
  for (const EffectFamily* row : EffectFamilies()) {
    const EffectFamily& family = *row;
    std::printf("%-22s %s\n", Names(family).c_str(), family.info.description);
    PrintParameters(family, "    ");
  }
  std::printf(
      "\nChains: name[=key=value[:key=value]...][,name...], e.g. "
      "lowpass=cutoff=2000,echo=delay=250:feedback=0.3\n");
}

void PrintEffectJson() {
  std::printf("[");
  const char* familySeparator = "\n";
  for (const EffectFamily* row : EffectFamilies()) {
    const EffectFamily& family = *row;
    std::printf("%s  {\"name\": %s, \"aliases\": [", familySeparator,
                JsonString(family.info.name).c_str());
    for (std::size_t i = 0; i < family.info.alias_count; ++i) {
      std::printf("%s%s", i > 0 ? ", " : "", JsonString(family.info.aliases[i]).c_str());
    }
    std::printf("], \"description\": %s, \"parameters\": [",
                JsonString(family.info.description).c_str());
    const char* separator = "";
    for (std::size_t i = 0; i < family.info.parameter_count; ++i) {
      const wavfx_parameter_info& p = family.info.parameters[i];
      const ParameterSyntax* syntax = SyntaxOf(family, i);
      std::string choices;
      if (syntax != nullptr && syntax->choices != nullptr) {
        choices = ", \"choices\": [\"" + Choices(*syntax, "\", \"") + "\"]";
      }
      for (std::size_t a = 0; syntax != nullptr && a < syntax->aliasCount; ++a) {
        choices += (a == 0 ? ", \"aliases\": [" : ", ") + JsonString(syntax->aliases[a].name) +
                   (a + 1 == syntax->aliasCount ? "]" : "");
      }
      std::printf(
          "%s\n    {\"name\": %s, \"unit\": %s, \"default\": %s, \"min\": %s, \"max\": %s, "
          "\"integer\": %s, \"kind\": \"%s\"%s, \"description\": %s}",
          separator, JsonString(p.name).c_str(), JsonString(p.unit).c_str(),
          FormatNumber(p.default_value).c_str(), FormatNumber(p.minimum).c_str(),
          FormatNumber(p.maximum).c_str(), p.integer != 0 ? "true" : "false", KindName(syntax),
          choices.c_str(), JsonString(p.description).c_str());
      separator = ",";
    }
    std::printf("%s]}", family.info.parameter_count > 0 ? "\n  " : "");
    familySeparator = ",\n";
  }
  std::printf("\n]\n");
}

bool PrintEffectHelp(const char* name) {
  const EffectFamily* family = FindEffectFamily(name);
  if (family == nullptr) return false;
  std::printf("%s: %s\n", Names(*family).c_str(), family->info.description);
  if (family->info.parameter_count == 0) {
    std::printf("No parameters.\n");
    return true;
  }
  std::printf("\n    %-10s %-3s %8s  %-16s %s\n", "parameter", "", "default", "range", "meaning");
  PrintParameters(*family, "    ");
  const wavfx_parameter_info& first = family->info.parameters[0];
  std::printf("\nExample: wavfx in.wav out.wav %s=%s=%s\n", family->info.name, first.name,
              FormatNumber(first.default_value).c_str());
  return true;
}

bool ResolveEffect(const char* text, std::unique_ptr<ChainRecipe>& chain, std::string& error) {
  chain.reset();
  if (IsPlainName(text)) return true;
  chain.reset(new (std::nothrow) ChainRecipe);
  ChainError problem;
  if (chain == nullptr) {
    error = "out of memory";
    return false;
  }
  if (!ParseChain(text, *chain, problem)) {
    chain.reset();
    error = problem.message;
    return false;
  }
  return true;
}

void NoteUnknownName(const char* text, bool quiet) {
  if (quiet || !IsPlainName(text) || FindEffectFamily(text) != nullptr) return;
  std::fprintf(stderr,
               "Note: '%s' names no effect: the audio was copied unchanged (wavfx --list shows "
               "them)\n",
               text);
}

}  // namespace wavfx::cli
