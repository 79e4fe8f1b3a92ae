// The wavfx command, run as a separate process.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "engine/chain_text.h"
#include "engine/effect.h"
#include "engine/registry.h"
#include "entry/apply_effect.h"
#include "support/wav_files.h"

extern char** environ;

namespace wavfx {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Listing;

// A run of the command line with its standard output as text.
struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

CliRun RunCli(const std::vector<std::string>& args) {
  const testing::CliRun run = testing::RunCli(args);
  return {run.exitCode, std::string(run.out.begin(), run.out.end()), run.err};
}

TEST(Cli, OptionsAndUsage) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string outStart;  // stdout begins with this
    std::string errStart;  // and stderr with this
  };
  const std::string usage = "Usage: wavfx INPUT OUTPUT EFFECT|CHAIN\n";
  const Case cases[] = {
      {{"--help"}, 0, usage, ""},
      {{"-h"}, 0, usage, ""},
      {{"--version"}, 0, std::string("wavfx ") + WAVFX_VERSION + "\n", ""},
      {{"--list"}, 0, "EFFECT (aliases)", ""},
      {{}, 1, "", usage},
      {{"--frobnicate"}, 1, "", usage},
      {{"in.wav"}, 1, "", usage},
      {{"in.wav", "out.wav"}, 1, "", usage},
      {{"in.wav", "out.wav", "echo", "extra"}, 1, "", usage},
      {{"--help", "--version"}, 1, "", usage},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.args);
    SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args[0]);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out.substr(0, c.outStart.size()), c.outStart);
    EXPECT_EQ(run.err.substr(0, c.errStart.size()), c.errStart);
    if (c.outStart.empty()) {
      EXPECT_EQ(run.out, "");
    }
    if (c.errStart.empty()) {
      EXPECT_EQ(run.err, "");
    }
  }
  EXPECT_EQ(RunCli({"--version"}).out, std::string("wavfx ") + WAVFX_VERSION + "\n");
}

// --list, --list --json and --help EFFECT are views of the registry: each shows every name, alias
// and parameter with its default as the shortest text that reads back as it.
TEST(Cli, ListingsShowTheRegistry) {
  const CliRun list = RunCli({"--list"});
  const CliRun json = RunCli({"--list", "--json"});
  ASSERT_EQ(list.exitCode, 0);
  ASSERT_EQ(json.exitCode, 0);
  for (const EffectFamily* row : EffectFamilies()) {
    const EffectFamily& family = *row;
    const CliRun help = RunCli({"--help", std::string(family.info.name) + ""});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(json.out.find("{\"name\": \"" + std::string(family.info.name) + "\""),
              std::string::npos);
    std::string names = family.info.name;
    for (std::size_t i = 0; i < family.info.alias_count; ++i)
      names += std::string(", ") + family.info.aliases[i];
    EXPECT_NE(list.out.find(names + " "), std::string::npos) << names;
    EXPECT_EQ(help.out.rfind(names + ": ", 0), 0u) << help.out;
    for (const wavfx_parameter_info& p : ParametersOf(family)) {
      const std::string value = FormatNumber(p.default_value);
      EXPECT_EQ(std::stod(value), p.default_value);
      EXPECT_NE(json.out.find("\"name\": \"" + std::string(p.name) + "\", \"unit\": \"" + p.unit +
                              "\", \"default\": " + value + ","),
                std::string::npos)
          << family.info.name << " " << p.name;
      EXPECT_NE(help.out.find(p.name), std::string::npos);
    }
  }
  const CliRun unknown = RunCli({"--help", "wobble"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_EQ(unknown.err, "Error: unknown effect 'wobble' (wavfx --list shows them)\n");
}

Bytes Riff(std::initializer_list<Bytes> chunks) {
  Bytes file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const Bytes& chunk : chunks)
    file.insert(file.end(), chunk.begin(), chunk.end());
  return file;
}

Bytes DataHeader(uint32_t declared) {
  Bytes header;
  testing::AppendTag(header, "data");
  testing::AppendLE32(header, declared);
  return header;
}

TEST(Cli, ExitStatusTellsHowFarTheJobGot) {
  struct Case {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the test directory
    int exitCode;
    std::string err;
    bool outputCreated;  // @/out.wav
  };
  const std::string e100 = [] {
    std::string s;
    for (int i = 0; i < 100; ++i)
      s += "\xC3\xA9";
    return s;
  }();
  const Case cases[] = {
      {"copy", {"@/in.wav", "@/out.wav", "none"}, 0, "", true},
      {"effect in capitals", {"@/in.wav", "@/out.wav", "ECHO"}, 0, "", true},
      {"unknown effect copies",
       {"@/in.wav", "@/out.wav", "vibrato"},
       0,
       "Note: 'vibrato' names no effect: the audio was copied unchanged (wavfx --list shows "
       "them)\n",
       true},
      {"unknown effect copies quietly",
       {"--quiet", "@/in.wav", "@/out.wav", "vibrato"},
       0,
       "",
       true},
      {"partial trailing frame", {"@/partial.wav", "@/out.wav", "none"}, 0, "", true},
      {"no data", {"@/empty-data.wav", "@/out.wav", "none"}, 0, "", true},
      {"non-ASCII paths", {"@/\xC3\xA9t\xC3\xA9.wav", "@/out.wav", "none"}, 0, "", true},
      {"input shorter than declared",
       {"@/short.wav", "@/out.wav", "none"},
       2,
       "Error: read failed\n",
       true},
      {"frames too wide",
       {"@/wide.wav", "@/out.wav", "none"},
       2,
       "Error: frames wider than a block (over 1024 channels), nothing streamed\n",
       true},
      {"write failure surfacing at the flush",
       {"@/in.wav", "/dev/full", "none"},
       2,
       "Error: write failed\n",
       false},
      {"write failure while streaming",
       {"@/large.wav", "/dev/full", "none"},
       2,
       "Error: write failed\n",
       false},
      {"missing input",
       {"@/missing.wav", "@/out.wav", "none"},
       1,
       "Error: cannot open input '@/missing.wav'\n",
       false},
      {"empty input path", {"", "@/out.wav", "none"}, 1, "Error: cannot open input ''\n", false},
      {"format directives printed literally",
       {"@/%s%n.wav", "@/out.wav", "none"},
       1,
       "Error: cannot open input '@/%s%n.wav'\n",
       false},
      {"output in a missing directory",
       {"@/in.wav", "@/missing/%n.wav", "none"},
       1,
       "Error: cannot open output '@/missing/%n.wav'\n",
       false},
      {"empty output path", {"@/in.wav", "", "none"}, 1, "Error: cannot open output ''\n", false},
      {"rejected input",
       {"@/zero.wav", "@/out.wav", "none"},
       1,
       "Error: unsupported channel count (0)\n",
       false},
      {"same file",
       {"@/in.wav", "@/link.wav", "none"},
       1,
       "Error: input and output are the same file\n",
       false},
      {"argument too long",
       {"@/in.wav", "@/out.wav", std::string(200, 'e')},
       1,
       "Error: argument too long\n",
       false},
      {"argument too long once converted",
       {"@/in.wav", "@/out.wav", e100},
       1,
       "Error: argument too long\n",
       false},
      {"argument not UTF-8",
       {"@/in.wav", "@/out.wav", "caf\xE9"},
       1,
       "Error: argument is not valid UTF-8\n",
       false},
  };
  // Small enough that a write failure surfaces only when the output is flushed.
  const Bytes input = testing::WavFile(2, 44100, std::vector<int16_t>(1000, -300));
  const Bytes large = testing::WavFile(2, 44100, std::vector<int16_t>(1'000'000, 5));
  const Bytes partial =
      testing::RiffWave({testing::FormatChunk(2, 44100), testing::Chunk("data", Bytes(6, 1))});
  const Bytes shortFile = Riff({testing::FormatChunk(2, 44100), DataHeader(5000), Bytes(3000, 1)});
  const Bytes wide = Riff({testing::FormatChunk(1025, 8000), DataHeader(4100), Bytes(4100, 1)});
  const Bytes zero = testing::WavFile(0, 44100, {1, 2});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string root = dir.path.string();
    const auto expand = [&root](const std::string& text) { return testing::Expand(text, root); };
    testing::WriteFile(dir / "in.wav", input);
    testing::WriteFile(dir / "\xC3\xA9t\xC3\xA9.wav", input);
    testing::WriteFile(dir / "large.wav", large);
    testing::WriteFile(dir / "partial.wav", partial);
    testing::WriteFile(dir / "empty-data.wav", testing::WavFile(2, 44100, {}));
    testing::WriteFile(dir / "short.wav", shortFile);
    testing::WriteFile(dir / "wide.wav", wide);
    testing::WriteFile(dir / "zero.wav", zero);
    fs::create_symlink(dir / "in.wav", dir / "link.wav");
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
      args.push_back(expand(arg));

    const CliRun run = RunCli(args);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.err, expand(c.err));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(fs::exists(dir / "out.wav"), c.outputCreated);
    EXPECT_EQ(testing::ReadFile(dir / "in.wav"), input);
  }
}

TEST(Cli, WritesWhatWavEffectWrites) {
  std::vector<std::string> names = {"", "NONE", "unknown"};
  for (const EffectName& name : EffectNames())
    names.push_back(name.literal);
  testing::TempDir dir;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const CliRun run = RunCli({WAVFX_DEMO_WAV, (dir / "cli.wav").string(), name});
    EXPECT_EQ(run.exitCode, 0);
    const bool copies = name.empty() || name == "unknown";
    EXPECT_EQ(run.err, copies ? "Note: '" + name +
                                    "' names no effect: the audio was copied unchanged (wavfx "
                                    "--list shows them)\n"
                              : "");
    const std::u16string in = testing::Utf16(WAVFX_DEMO_WAV);
    const std::u16string out = testing::Utf16((dir / "call.wav").string());
    const std::u16string wide = testing::Utf16(name);
    ASSERT_EQ(ApplyEffect(in.c_str(), out.c_str(), wide.c_str()), StreamOutcome::Complete);
    const Bytes expected = testing::ReadFile(dir / "call.wav");
    EXPECT_EQ(expected.size(), testing::ReadFile(WAVFX_DEMO_WAV).size());
    EXPECT_EQ(testing::ReadFile(dir / "cli.wav"), expected);
  }
}

TEST(Cli, TruncatedInputGivesAPlayableFile) {
  testing::TempDir dir;
  const Bytes data(3002, 0x11);
  testing::WriteFile(dir / "in.wav",
                     Riff({testing::FormatChunk(2, 44100), DataHeader(5000), data}));
  const CliRun run = RunCli({(dir / "in.wav").string(), (dir / "out.wav").string(), "none"});
  EXPECT_EQ(run.exitCode, 2);
  const Bytes output = testing::ReadFile(dir / "out.wav");
  ASSERT_EQ(output.size(), 44u + 3000u);
  EXPECT_EQ(output[4] | output[5] << 8, 3036);
  EXPECT_EQ(output[40] | output[41] << 8, 3000);
  EXPECT_EQ(Listing(dir.path), (std::set<std::string>{"in.wav", "out.wav"}));
  // The general reader counts only the frames the file holds; the job and the statistics still
  // fail on what the header declares.
  const std::string shortfall = "read failed: 750 of the 1250 frames the file declares";
  const std::string in = (dir / "in.wav").string();
  for (const auto& [args, status] :
       {std::pair{std::vector<std::string>{in, (dir / "o.wav").string(), "resample=rate=8000"}, 2},
        std::pair{std::vector<std::string>{in, (dir / "o.flac").string(), "none"}, 2},
        std::pair{std::vector<std::string>{"--stats", in}, 1}}) {
    const CliRun general = RunCli(args);
    EXPECT_EQ(general.exitCode, status) << args.back();
    EXPECT_NE(general.err.find(shortfall), std::string::npos) << general.err;
  }
  // A size that means "to the end" (a capture saved to disk) is no shortfall.
  testing::WriteFile(dir / "in.wav",
                     Riff({testing::FormatChunk(2, 44100), DataHeader(0x7FFFF000), data}));
  EXPECT_EQ(RunCli({in, (dir / "o.wav").string(), "resample=rate=8000"}).exitCode, 0);
}

}  // namespace
}  // namespace wavfx
