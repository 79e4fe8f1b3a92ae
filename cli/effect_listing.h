#pragma once

#include <memory>
#include <string>

#include "engine/chain_text.h"

namespace wavfx::cli {

// --list: every effect with its aliases, description and parameters.
void PrintEffectList();

// --list --json: the registry as a JSON array.
void PrintEffectJson();

// --help EFFECT: one effect in full. Returns false when `name` names no effect.
bool PrintEffectHelp(const char* name);

// The EFFECT operand: a plain name (no '=' or ',') stays WAVEffect's and leaves `chain` empty;
// anything else is parsed as a chain. Returns false with `error` set when the chain is refused.
bool ResolveEffect(const char* text, std::unique_ptr<ChainRecipe>& chain, std::string& error);

// A plain name that names no effect copies the audio (WAVEffect's rule); unless `quiet`, a note
// on stderr says so, since it is most often a typing slip.
void NoteUnknownName(const char* text, bool quiet);

}  // namespace wavfx::cli
