#include "command_line.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace wavfx::cli {
namespace {

enum class OptionId {
  Help,
  Version,
  List,
  Json,
  Info,
  Stats,
  Effect,
  OutputDir,
  Jobs,
  Tail,
  Quiet,
  Format,
  Bits
};

struct Option {
  OptionId id;
  const char* longName;
  char shortName;  // 0: none
  bool takesValue;
};

constexpr Option kOptions[] = {
    {OptionId::Help, "help", 'h', false},    {OptionId::Version, "version", 0, false},
    {OptionId::List, "list", 0, false},      {OptionId::Info, "info", 0, false},
    {OptionId::Effect, "effect", 'e', true}, {OptionId::OutputDir, "output-dir", 'o', true},
    {OptionId::Jobs, "jobs", 'j', true},     {OptionId::Tail, "tail", 0, true},
    {OptionId::Quiet, "quiet", 'q', false},  {OptionId::Json, "json", 0, false},
    {OptionId::Format, "format", 0, true},   {OptionId::Bits, "bits", 0, true},
    {OptionId::Stats, "stats", 0, false},
};

const Option* FindLong(std::string_view name) {
  for (const Option& option : kOptions) {
    if (name == option.longName) return &option;
  }
  return nullptr;
}

const Option* FindShort(char name) {
  for (const Option& option : kOptions) {
    if (option.shortName != 0 && name == option.shortName) return &option;
  }
  return nullptr;
}

bool ParseJobs(const char* text, unsigned& jobs) {
  char* end = nullptr;
  if (*text < '0' || *text > '9') return false;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (*end != '\0' || value < 1 || value > kMostJobs) return false;
  jobs = static_cast<unsigned>(value);
  return true;
}

bool ParseSeconds(const char* text, double& seconds) {
  char* end = nullptr;
  if ((*text < '0' || *text > '9') && *text != '.') return false;  // no sign, blank, inf or nan
  if (std::strpbrk(text, "xX") != nullptr) return false;           // nor strtod's hexadecimal
  const double value = std::strtod(text, &end);
  if (*end != '\0' || !std::isfinite(value) || value > kLongestTail) return false;
  seconds = value;
  return true;
}

// The mode an option chooses; Single for the others.
Mode ModeOf(OptionId id) {
  switch (id) {
    case OptionId::Help:
      return Mode::Help;
    case OptionId::Version:
      return Mode::Version;
    case OptionId::List:
      return Mode::List;
    case OptionId::Info:
      return Mode::Info;
    case OptionId::Stats:
      return Mode::Stats;
    default:
      return Mode::Single;
  }
}

// Applies one option. Returns false with `error` set when its value is unusable.
bool Apply(const Option& option, const char* value, CommandLine& line, std::string& error) {
  const Mode chosen = ModeOf(option.id);
  if (chosen != Mode::Single && line.mode != Mode::Single) {
    error = chosen == line.mode ? "option '--" + std::string(option.longName) + "' is given twice"
                                : "--help, --version, --list, --info and --stats do not combine";
    return false;
  }
  switch (option.id) {
    case OptionId::Help:
    case OptionId::Version:
    case OptionId::List:
    case OptionId::Info:
    case OptionId::Stats:
      line.mode = chosen;
      return true;
    case OptionId::Effect:
      line.effect = value;
      return true;
    case OptionId::OutputDir:
      line.outputDir = value;
      return true;
    case OptionId::Quiet:
      line.quiet = true;
      return true;
    case OptionId::Json:
      line.json = true;
      return true;
    case OptionId::Format:
      line.format = value;
      return true;
    case OptionId::Bits:
      line.bits = value;
      return true;
    case OptionId::Jobs:
      if (ParseJobs(value, line.jobs)) return true;
      error = "-j needs a whole number from 1 to " + std::to_string(kMostJobs) + ", not '" + value +
              "'";
      return false;
    case OptionId::Tail:
      if (ParseSeconds(value, line.tailSeconds)) return true;
      error = "--tail needs a number of seconds from 0 to " +
              std::to_string(static_cast<int>(kLongestTail)) + ", not '" + value + "'";
      return false;
  }
  return false;
}

// Checks that the options and operands make one command of line.mode's kind.
bool Validate(int argc, CommandLine& line, std::string& error) {
  const bool batchOption = line.effect != nullptr || line.outputDir != nullptr;
  if (line.json && line.mode != Mode::List && line.mode != Mode::Stats) {
    error = "--json goes with --list or --stats";
    return false;
  }
  switch (line.mode) {
    case Mode::Help:
      if (argc == 2 || (argc == 3 && line.files.size() == 1)) return true;
      error = "--help takes at most one EFFECT";
      return false;
    case Mode::List:
      if (argc == 2 || (argc == 3 && line.json)) return true;
      error = "--list takes only --json";
      return false;
    case Mode::Version:
      if (argc == 2) return true;
      error = "--version stands alone";
      return false;
    case Mode::Info:
    case Mode::Stats: {
      const bool info = line.mode == Mode::Info;
      if (batchOption || line.jobs != 0 || line.tailSeconds != 0 || line.format != nullptr ||
          line.bits != nullptr) {
        error = info ? "--info takes only files" : "--stats takes only --json and files";
      } else if (line.files.empty()) {
        error = info ? "--info needs a FILE" : "--stats needs a FILE";
      }
      return error.empty();
    }
    case Mode::Single:
    case Mode::Batch:
      break;
  }
  if (!batchOption) {
    if (line.jobs != 0) {
      error = "-j applies to a batch (-e EFFECT -o OUTDIR FILE...)";
      return false;
    }
    return line.files.size() == 3;
  }
  line.mode = Mode::Batch;
  if (line.effect == nullptr) {
    error = "a batch needs -e EFFECT";
  } else if (line.outputDir == nullptr) {
    error = "a batch needs -o OUTDIR";
  } else if (line.files.empty()) {
    error = "a batch needs at least one FILE";
  } else {
    for (const char* file : line.files) {
      if (std::string_view(file) == "-") error = "'-' cannot be part of a batch";
    }
  }
  return error.empty();
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
  line = CommandLine{};
  error.clear();
  bool operandsOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (operandsOnly || arg.size() < 2 || arg[0] != '-') {
      line.files.push_back(argv[i]);  // "-" included: standard input or output
      continue;
    }
    if (arg == "--") {
      operandsOnly = true;
      continue;
    }
    const Option* option = nullptr;
    const char* value = nullptr;
    if (arg[1] == '-') {
      std::string_view name = arg.substr(2);
      const std::size_t equals = name.find('=');
      if (equals != std::string_view::npos) {
        value = argv[i] + 2 + equals + 1;
        name = name.substr(0, equals);
      }
      option = FindLong(name);
    } else {
      option = FindShort(arg[1]);
      if (option != nullptr && arg.size() > 2) {
        if (option->takesValue) {
          value = argv[i] + 2;
        } else {
          option = nullptr;
        }
      }
    }
    if (option == nullptr && argc == 4) {
      line.files.push_back(argv[i]);  // three arguments stay INPUT OUTPUT EFFECT, as they were
      continue;
    }
    if (option == nullptr) {
      error = "unknown option '" + std::string(arg) + "'";
      return false;
    }
    if (value != nullptr && !option->takesValue) {
      error = "option '" + std::string(arg.substr(0, arg.find('='))) + "' takes no value";
      return false;
    }
    if (option->takesValue && value == nullptr) {
      if (i + 1 == argc) {
        error = "option '" + std::string(arg) + "' needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (!Apply(*option, value, line, error)) return false;
  }
  return Validate(argc, line, error);
}

void PrintUsage(std::FILE* to) {
  std::fprintf(
      to,
      "Usage: wavfx INPUT OUTPUT EFFECT|CHAIN\n"
      "       wavfx [--tail SECONDS] [--format F] [--bits B] [--quiet] INPUT OUTPUT EFFECT\n"
      "       wavfx -e EFFECT -o OUTDIR [-j N] [--tail SECONDS] [--format F] [--bits B]\n"
      "             [--quiet] FILE...\n"
      "       wavfx --info FILE...\n"
      "       wavfx --stats [--json] FILE...\n"
      "       wavfx --list [--json] | --help [EFFECT] | --version\n");
}

void PrintHelp() {
  PrintUsage(stdout);
  std::printf(
      "\n"
      "Reads INPUT, applies EFFECT and writes OUTPUT. 16-bit PCM WAV files take the strict\n"
      "path of the library's WAVEffect call; other WAV files, FLAC, AIFF, CAF, OGG, Opus and\n"
      "MP3 take the general path at their native precision (see --info).\n"
      "Effect names ignore case; 'none' and unknown names copy the audio.\n"
      "A CHAIN sets parameters and runs effects in turn, in FFmpeg's filter syntax:\n"
      "  name[=key=value[:key=value]...][,name...], e.g. lowpass=cutoff=2000,echo=delay=250\n"
      "A chain with a mistake is refused before any output is written.\n"
      "INPUT or OUTPUT '-' is standard input or output (./- names a file called '-').\n"
      "\n"
      "  -e, --effect EFFECT       batch: apply EFFECT to every FILE\n"
      "  -o, --output-dir OUTDIR   batch: write each FILE to OUTDIR under its own name;\n"
      "                            a file that would overwrite an input is refused\n"
      "  -j, --jobs N              batch: process N files at once (default: one per core)\n"
      "      --tail SECONDS        feed SECONDS of silence through the effect after the input\n"
      "                            so that echoes and reverberation ring out (default 0)\n"
      "      --format F            output container: wav, rf64, w64, flac, aiff, caf, ogg,\n"
      "                            opus, mp3 (default: from OUTPUT's extension, else the input's)\n"
      "      --bits B              output samples: 8, 16, 24, 32, float, double\n"
      "                            (default: the input's)\n"
      "  -q, --quiet               no progress bar; a batch reports failed files only\n"
      "      --info                show what the reader sees in each FILE, or why it refuses it\n"
      "      --stats [--json]      measure each FILE: loudness (EBU R128: integrated, range,\n"
      "                            momentary and short-term maxima) and SoX-style statistics\n"
      "      --list [--json]       list the effects and their parameters (as JSON)\n"
      "  -h, --help [EFFECT]       show this help, or one effect's parameters\n"
      "      --version             show the version\n"
      "\n"
      "Exit status: 0 all audio streamed, 1 nothing done (bad argument or file),\n"
      "2 audio left unstreamed (read or write failure, frames too wide).\n"
      "A batch exits 2 if any file was left incomplete, else 1 if any could not start.\n");
}

}  // namespace wavfx::cli
