// wavfx -e EFFECT -o OUTDIR [-j N] FILE...
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "entry/apply_effect.h"

namespace wavfx {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

// The lines of `text`, sorted: workers finish in any order.
std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(CliBatch, ReportsEveryFileAndExitsWithTheWorstOutcome) {
  struct Case {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the test directory
    int exitCode;
    std::vector<std::string> lines;    // of standard error, in any order
    std::vector<std::string> written;  // outputs under @/out that must equal the file job's
  };
  const Case cases[] = {
      {"all done, in parallel",
       {"-e", "echo", "-o", "@/out", "-j", "3", "@/a.wav", "@/b.wav", "@/c.wav"},
       0,
       {"done         @/a.wav -> @/out/a.wav", "done         @/b.wav -> @/out/b.wav",
        "done         @/c.wav -> @/out/c.wav", "3 files: 3 done, 0 incomplete, 0 not started"},
       {"a.wav", "b.wav", "c.wav"}},
      {"a refused file",
       {"-e", "echo", "-o", "@/out/", "@/a.wav", "@/bad.wav"},
       1,
       {"done         @/a.wav -> @/out/a.wav", "not started  @/bad.wav: not a RIFF file",
        "2 files: 1 done, 0 incomplete, 1 not started"},
       {"a.wav"}},
      {"an incomplete file outweighs a refused one",
       {"--effect=none", "--output-dir=@/out", "@/bad.wav", "@/short.wav"},
       2,
       {"incomplete   @/short.wav -> @/out/short.wav: read failed",
        "not started  @/bad.wav: not a RIFF file", "2 files: 0 done, 1 incomplete, 1 not started"},
       {}},
      {"a silent refusal gets its reason",
       {"-e", "echo", "-o", "@/out", "@/cut.wav", "@/missing.wav"},
       1,
       {"not started  @/cut.wav: file of 5 bytes ends inside its 12-byte RIFF header (refused "
        "without a message)",
        "not started  @/missing.wav: cannot open input: No such file or directory",
        "2 files: 0 done, 0 incomplete, 2 not started"},
       {}},
      {"an input is never overwritten",
       {"-e", "echo", "-o", "@", "@/a.wav", "@/sub/b.wav"},
       1,
       {"not started  @/a.wav: its output @/a.wav is the input @/a.wav",
        "not started  @/sub/b.wav: its output @/b.wav is the input @/sub/b.wav",
        "2 files: 0 done, 0 incomplete, 2 not started"},
       {}},
      {"one output name for two files",
       {"-e", "echo", "-o", "@/out", "@/a.wav", "@/sub/a.wav"},
       1,
       {"done         @/a.wav -> @/out/a.wav",
        "not started  @/sub/a.wav: its output @/out/a.wav is already written from @/a.wav",
        "2 files: 1 done, 0 incomplete, 1 not started"},
       {"a.wav"}},
      {"quiet: failures only",
       {"-q", "-e", "echo", "-o", "@/out", "@/a.wav", "@/bad.wav"},
       1,
       {"not started  @/bad.wav: not a RIFF file"},
       {"a.wav"}},
      {"no output directory",
       {"-e", "echo", "-o", "@/nowhere", "@/a.wav"},
       1,
       {"Error: output directory '@/nowhere' is not a directory"},
       {}},
  };
  const Bytes data = testing::SampleBytes(30000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string root = dir.path.string();
    fs::create_directories(dir / "out");
    fs::create_directories(dir / "sub");
    testing::WriteFile(dir / "a.wav", testing::WavFile(2, 44100, std::vector<int16_t>(9000, 700)));
    testing::WriteFile(dir / "b.wav", testing::DeclaringWav(1, 8000, 30000, data));
    testing::WriteFile(dir / "c.wav", testing::ReadFile(WAVFX_DEMO_WAV));
    testing::WriteFile(dir / "sub/a.wav", testing::DeclaringWav(1, 8000, 30000, data));
    fs::create_hard_link(dir / "b.wav", dir / "sub/b.wav");
    testing::WriteFile(dir / "bad.wav", Bytes(40, 'x'));
    testing::WriteFile(dir / "short.wav", testing::DeclaringWav(1, 8000, 30000, Bytes(900, 1)));
    testing::WriteFile(dir / "cut.wav", {'R', 'I', 'F', 'F', 0});
    const Bytes a = testing::ReadFile(dir / "a.wav");
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
      args.push_back(testing::Expand(arg, root));
    std::vector<std::string> lines;
    for (const std::string& line : c.lines)
      lines.push_back(testing::Expand(line, root));
    std::sort(lines.begin(), lines.end());

    const testing::CliRun run = testing::RunCli(args);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(SortedLines(run.err), lines);
    EXPECT_EQ(run.out, Bytes{});
    EXPECT_EQ(testing::ReadFile(dir / "a.wav"), a);
    for (const std::string& name : c.written) {
      SCOPED_TRACE(name);
      const std::u16string in = testing::Utf16((dir / name).string());
      const std::u16string out = testing::Utf16((dir / "expected.wav").string());
      ASSERT_EQ(ApplyEffect(in.c_str(), out.c_str(), u"echo"), StreamOutcome::Complete);
      EXPECT_EQ(testing::ReadFile(dir / "out" / name), testing::ReadFile(dir / "expected.wav"));
    }
  }
}

}  // namespace
}  // namespace wavfx
