// WAVEffect as a host finds it: loaded at run time and looked up by its plain name.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "entry/apply_effect.h"
#include "support/wav_files.h"

namespace wavfx {
namespace {

using testing::Bytes;
using testing::Utf16;
using WavEffectFunction = int32_t (*)(const char16_t*, const char16_t*, const char16_t*);

class SharedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(WAVFX_SHARED_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    wavEffect_ = reinterpret_cast<WavEffectFunction>(dlsym(handle_, "WAVEffect"));
    ASSERT_NE(wavEffect_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
  }

  // Calls WAVEffect with UTF-16 copies of the arguments, as a host holding wide strings does.
  int32_t Call(const std::string& input, const std::string& output, const std::string& effect) {
    const std::u16string in = Utf16(input), out = Utf16(output), name = Utf16(effect);
    return wavEffect_(in.c_str(), out.c_str(), name.c_str());
  }

  void* handle_ = nullptr;
  WavEffectFunction wavEffect_ = nullptr;
};

// The defined global symbols of the dynamic symbol table of the ELF file at `path`.
std::vector<std::string> ExportedSymbols(const char* path) {
  const Bytes file = testing::ReadFile(path);
  std::vector<std::string> names;
  if (file.size() < sizeof(Elf64_Ehdr) || file[EI_CLASS] != ELFCLASS64) return names;
  Elf64_Ehdr header;
  std::memcpy(&header, file.data(), sizeof header);
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  std::memcpy(sections.data(), file.data() + header.e_shoff, header.e_shnum * sizeof(Elf64_Shdr));
  for (const Elf64_Shdr& section : sections) {
    if (section.sh_type != SHT_DYNSYM) continue;
    const Elf64_Shdr& strings = sections[section.sh_link];
    for (std::size_t at = 0; at + sizeof(Elf64_Sym) <= section.sh_size; at += sizeof(Elf64_Sym)) {
      Elf64_Sym symbol;
      std::memcpy(&symbol, file.data() + section.sh_offset + at, sizeof symbol);
      const unsigned binding = ELF64_ST_BIND(symbol.st_info);
      if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) continue;
      names.emplace_back(
          reinterpret_cast<const char*>(file.data() + strings.sh_offset + symbol.st_name));
    }
  }
  return names;
}

TEST_F(SharedLibrary, ExportsWavEffectAndNoInternals) {
  const std::vector<std::string> exported = ExportedSymbols(WAVFX_SHARED_LIBRARY_PATH);
  EXPECT_EQ(std::count(exported.begin(), exported.end(), "WAVEffect"), 1);
  for (const std::string& name : exported) {
    EXPECT_TRUE(name == "WAVEffect" || name.rfind("wavfx_", 0) == 0) << name;
  }
  EXPECT_EQ(dlsym(handle_, "_ZN5wavfx11ApplyEffectEPKDsS1_S1_"), nullptr);
  EXPECT_EQ(dlsym(handle_, "_ZN5wavfx10InitEffectERNS_11EffectStateEPKcjj"), nullptr);
}

TEST_F(SharedLibrary, ReturnsOneOrNineHundredNinetyNine) {
  struct Case {
    const char* name;
    std::string input;  // "@" stands for the test directory
    std::string output;
    const char* effect;
    int32_t status;
    bool outputCreated;
  };
  const Case cases[] = {
      {"copy", "@/in.wav", "@/out.wav", "none", 999, true},
      {"effect", "@/in.wav", "@/out.wav", "Echo", 999, true},
      {"input shorter than declared", "@/short.wav", "@/out.wav", "none", 999, true},
      {"missing input", "@/missing.wav", "@/out.wav", "none", 1, false},
      {"rejected input", "@/rifx.wav", "@/out.wav", "none", 1, false},
      {"output in a missing directory", "@/in.wav", "@/missing/out.wav", "none", 1, false},
      {"same file", "@/in.wav", "@/./in.wav", "none", 1, false},
  };
  const Bytes input = testing::WavFile(2, 44100, std::vector<int16_t>(3000, 1000));
  Bytes shortInput = input;
  shortInput.resize(shortInput.size() - 1001);
  Bytes rifx = input;
  rifx[3] = 'X';
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    testing::WriteFile(dir / "in.wav", input);
    testing::WriteFile(dir / "short.wav", shortInput);
    testing::WriteFile(dir / "rifx.wav", rifx);
    auto expand = [&dir](std::string text) { return text.replace(0, 1, dir.path.string()); };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Call(expand(c.input), expand(c.output), c.effect), c.status);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::filesystem::exists(dir / "out.wav"), c.outputCreated);
    EXPECT_EQ(testing::ReadFile(dir / "in.wav"), input);
  }
}

TEST_F(SharedLibrary, RefusesNullArguments) {
  const char16_t path[] = u"/nonexistent/in.wav";
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(wavEffect_(nullptr, path, u"none"), 1);
  EXPECT_EQ(wavEffect_(path, nullptr, u"none"), 1);
  EXPECT_EQ(wavEffect_(path, path, nullptr), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error: missing argument\nError: missing argument\nError: missing argument\n");
}

TEST_F(SharedLibrary, CallsAreIndependentAndMatchTheLinkedCode) {
  const char* effects[] = {"none", "echo", "reverb", "flanger", "antique"};
  for (const char* effect : effects) {
    SCOPED_TRACE(effect);
    testing::TempDir dir;
    ASSERT_EQ(Call(WAVFX_DEMO_WAV, (dir / "first.wav").string(), effect), 999);
    ASSERT_EQ(Call(WAVFX_DEMO_WAV, (dir / "second.wav").string(), effect), 999);
    const std::u16string in = Utf16(WAVFX_DEMO_WAV);
    const std::u16string out = Utf16((dir / "linked.wav").string());
    const std::u16string name = Utf16(effect);
    ASSERT_EQ(ApplyEffect(in.c_str(), out.c_str(), name.c_str()), StreamOutcome::Complete);

    const Bytes first = testing::ReadFile(dir / "first.wav");
    EXPECT_EQ(first.size(), testing::ReadFile(WAVFX_DEMO_WAV).size());
    EXPECT_EQ(testing::ReadFile(dir / "second.wav"), first);
    EXPECT_EQ(testing::ReadFile(dir / "linked.wav"), first);
  }
}

TEST_F(SharedLibrary, RunsOnSeveralThreadsAtOnce) {
  testing::TempDir dir;
  ASSERT_EQ(Call(WAVFX_DEMO_WAV, (dir / "alone.wav").string(), "echo"), 999);
  constexpr int kThreads = 4;
  int32_t statuses[kThreads] = {};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([this, &dir, &statuses, i] {
      statuses[i] =
          Call(WAVFX_DEMO_WAV, (dir / ("out" + std::to_string(i) + ".wav")).string(), "echo");
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  const Bytes alone = testing::ReadFile(dir / "alone.wav");
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(statuses[i], 999) << i;
    EXPECT_EQ(testing::ReadFile(dir / ("out" + std::to_string(i) + ".wav")), alone) << i;
  }
}

}  // namespace
}  // namespace wavfx
