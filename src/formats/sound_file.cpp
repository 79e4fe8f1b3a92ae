#include "formats/sound_file.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "wav/stream_format.h"
#include "wav/wav_reader.h"

namespace wavfx {
namespace {

struct EncodingRow {
  int subtype;
  const char* name;
  SampleFormat samples;
  bool lossy;
};

constexpr EncodingRow kEncodings[] = {
    {SF_FORMAT_PCM_S8, "8-bit PCM", {SampleKind::Int, 8}, false},
    {SF_FORMAT_PCM_U8, "8-bit unsigned PCM", {SampleKind::Int, 8}, false},
    {SF_FORMAT_PCM_16, "16-bit PCM", {SampleKind::Int, 16}, false},
    {SF_FORMAT_PCM_24, "24-bit PCM", {SampleKind::Int, 24}, false},
    {SF_FORMAT_PCM_32, "32-bit PCM", {SampleKind::Int, 32}, false},
    {SF_FORMAT_FLOAT, "32-bit float", {SampleKind::Float32, 32}, false},
    {SF_FORMAT_DOUBLE, "64-bit float", {SampleKind::Float64, 64}, false},
    {SF_FORMAT_ULAW, "u-law", {SampleKind::Int, 16}, true},
    {SF_FORMAT_ALAW, "A-law", {SampleKind::Int, 16}, true},
    {SF_FORMAT_IMA_ADPCM, "IMA ADPCM", {SampleKind::Int, 16}, true},
    {SF_FORMAT_MS_ADPCM, "MS ADPCM", {SampleKind::Int, 16}, true},
    {SF_FORMAT_GSM610, "GSM 6.10", {SampleKind::Int, 16}, true},
    {SF_FORMAT_VOX_ADPCM, "VOX ADPCM", {SampleKind::Int, 16}, true},
    {SF_FORMAT_NMS_ADPCM_16, "NMS ADPCM", {SampleKind::Int, 16}, true},
    {SF_FORMAT_NMS_ADPCM_24, "NMS ADPCM", {SampleKind::Int, 16}, true},
    {SF_FORMAT_NMS_ADPCM_32, "NMS ADPCM", {SampleKind::Int, 16}, true},
    {SF_FORMAT_G721_32, "G.721 ADPCM", {SampleKind::Int, 16}, true},
    {SF_FORMAT_G723_24, "G.723 ADPCM", {SampleKind::Int, 16}, true},
    {SF_FORMAT_G723_40, "G.723 ADPCM", {SampleKind::Int, 16}, true},
    {SF_FORMAT_DWVW_12, "12-bit DWVW", {SampleKind::Int, 16}, false},
    {SF_FORMAT_DWVW_16, "16-bit DWVW", {SampleKind::Int, 16}, false},
    {SF_FORMAT_DWVW_24, "24-bit DWVW", {SampleKind::Int, 24}, false},
    {SF_FORMAT_DPCM_8, "8-bit DPCM", {SampleKind::Int, 8}, false},
    {SF_FORMAT_DPCM_16, "16-bit DPCM", {SampleKind::Int, 16}, false},
    {SF_FORMAT_ALAC_16, "16-bit ALAC", {SampleKind::Int, 16}, false},
    {SF_FORMAT_ALAC_20, "20-bit ALAC", {SampleKind::Int, 24}, false},
    {SF_FORMAT_ALAC_24, "24-bit ALAC", {SampleKind::Int, 24}, false},
    {SF_FORMAT_ALAC_32, "32-bit ALAC", {SampleKind::Int, 32}, false},
    {SF_FORMAT_VORBIS, "Vorbis", {SampleKind::Float32, 32}, true},
    {SF_FORMAT_OPUS, "Opus", {SampleKind::Float32, 32}, true},
    {SF_FORMAT_MPEG_LAYER_I, "MPEG layer I", {SampleKind::Float32, 32}, true},
    {SF_FORMAT_MPEG_LAYER_II, "MPEG layer II", {SampleKind::Float32, 32}, true},
    {SF_FORMAT_MPEG_LAYER_III, "MPEG layer III", {SampleKind::Float32, 32}, true},
};

struct ContainerRow {
  const char* name;        // as --format takes it
  const char* extensions;  // space-separated, with the dot
  int major;
  const char* label;
};

constexpr ContainerRow kContainers[] = {
    {"wav", ".wav .wave", SF_FORMAT_WAV, "WAV"},
    {"rf64", ".rf64 .bw64", SF_FORMAT_RF64, "RF64"},
    {"w64", ".w64", SF_FORMAT_W64, "Wave64"},
    {"flac", ".flac", SF_FORMAT_FLAC, "FLAC"},
    {"aiff", ".aiff .aif .aifc", SF_FORMAT_AIFF, "AIFF"},
    {"caf", ".caf", SF_FORMAT_CAF, "CAF"},
    {"ogg", ".ogg .oga", SF_FORMAT_OGG, "OGG"},
    {"opus", ".opus", SF_FORMAT_OGG, "OGG"},
    {"mp3", ".mp3", SF_FORMAT_MPEG, "MPEG"},
};

const EncodingRow* FindEncoding(int subtype) {
  for (const EncodingRow& row : kEncodings) {
    if (row.subtype == subtype) return &row;
  }
  return nullptr;
}

bool EndsWithFolded(std::string_view name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    char c = name[name.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != suffix[i]) return false;
  }
  return true;
}

const ContainerRow* ContainerOfName(const char* path) {
  for (const ContainerRow& row : kContainers) {
    std::string_view extensions = row.extensions;
    while (!extensions.empty()) {
      const std::size_t space = extensions.find(' ');
      if (EndsWithFolded(path, extensions.substr(0, space))) return &row;
      extensions = space == std::string_view::npos ? "" : extensions.substr(space + 1);
    }
  }
  return nullptr;
}

const ContainerRow* ContainerOfFormat(std::string_view name) {
  for (const ContainerRow& row : kContainers) {
    if (EndsWithFolded(name, row.name) && name.size() == std::strlen(row.name)) return &row;
  }
  return nullptr;
}

bool ParseBits(const std::string& bits, SampleFormat& samples) {
  const std::pair<const char*, SampleFormat> names[] = {
      {"8", {SampleKind::Int, 8}},          {"16", {SampleKind::Int, 16}},
      {"24", {SampleKind::Int, 24}},        {"32", {SampleKind::Int, 32}},
      {"float", {SampleKind::Float32, 32}}, {"double", {SampleKind::Float64, 64}},
  };
  for (const auto& [name, format] : names) {
    if (bits == name) {
      samples = format;
      return true;
    }
  }
  return false;
}

// libsndfile's subtype for `samples` in container `major`, or 0 when it cannot hold them.
int SubtypeFor(int major, SampleFormat samples) {
  const bool floats = samples.kind != SampleKind::Int;
  switch (major) {
    case SF_FORMAT_FLAC:
      if (floats || samples.bits == 32) return 0;
      return samples.bits == 8 ? SF_FORMAT_PCM_S8
                               : (samples.bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
    case SF_FORMAT_OGG:
    case SF_FORMAT_MPEG:
      return 0;  // chosen by the container alone
    default:
      break;
  }
  if (samples.kind == SampleKind::Float32) return SF_FORMAT_FLOAT;
  if (samples.kind == SampleKind::Float64) return SF_FORMAT_DOUBLE;
  switch (samples.bits) {
    case 8:
      return major == SF_FORMAT_AIFF || major == SF_FORMAT_CAF ? SF_FORMAT_PCM_S8
                                                               : SF_FORMAT_PCM_U8;
    case 16:
      return SF_FORMAT_PCM_16;
    case 24:
      return SF_FORMAT_PCM_24;
    default:
      return SF_FORMAT_PCM_32;
  }
}

// Whether the file starts like a container the general reader is meant for. libsndfile would
// try anything, and its MPEG decoder prints to standard error while it hunts through bytes that
// are no audio at all.
bool LooksLikeSound(const char* path) {
  unsigned char head[12] = {};
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return true;  // let libsndfile say why it cannot open it
  const std::size_t got = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  const auto starts = [&](const char* magic) {
    const std::size_t length = std::strlen(magic);
    return got >= length && std::memcmp(head, magic, length) == 0;
  };
  const bool mpegSync = got >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
  return starts("RIFF") || starts("RIFX") || starts("RF64") || starts("BW64") || starts("riff") ||
         starts("fLaC") || starts("FORM") || starts("caff") || starts("OggS") || starts("ID3") ||
         starts(".snd") || mpegSync;
}

// The frames the data chunk of the WAV file at `path` declares, by the block align of its format
// chunk; 0 when they are not known (no such chunks, a size of 0, or one that means "to the end").
// The reader counts only the frames the file holds.
int64_t DeclaredWavFrames(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return 0;
  const WavHeader header = ParseFirstDataChunk(file);
  std::fclose(file);
  const uint32_t size = header.format.dataSize;
  const uint32_t blockAlign = header.format.blockAlign;
  if (header.problem != WavProblem::None || size == 0 || size >= kUnknownDataSize ||
      blockAlign == 0) {
    return 0;
  }
  return size / blockAlign;
}

constexpr int kOpusRates[] = {8000, 12000, 16000, 24000, 48000};
constexpr int kMpegRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

// The lossy encoders take their standards' rates only; other encodings, any.
std::span<const int> EncoderRates(int subtype) {
  if (subtype == SF_FORMAT_OPUS) return kOpusRates;
  if (subtype == SF_FORMAT_MPEG_LAYER_III) return kMpegRates;
  return {};
}

// FLAC's stream header holds rates up to 655350 Hz (libsndfile writes larger ones unreadably),
// and its encoder, held to the streamable subset, takes those from 65536 Hz on only in whole tens
// of hertz.
bool FlacRateFits(int rate) {
  return rate <= 655350 && (rate < 65536 || rate % 10 == 0);
}

std::string ListOfRates(std::span<const int> rates) {
  std::string text;
  for (std::size_t i = 0; i < rates.size(); ++i)
    text += (i == 0 ? "" : i + 1 == rates.size() ? " or " : ", ") + std::to_string(rates[i]);
  return text;
}

}  // namespace

void SoundFileCloser::operator()(SNDFILE* file) const {
  sf_close(file);
}

SoundFile OpenSoundForReading(const char* path, int fd, SoundInfo& info, std::string& reason) {
  info = SoundInfo{};
  struct stat status;
  if (fd < 0 && stat(path, &status) == 0 && S_ISDIR(status.st_mode)) {
    reason = "it is a directory";
    return nullptr;
  }
  if (fd < 0 && !LooksLikeSound(path)) {
    reason = "not a recognised audio format";
    return nullptr;
  }
  SF_INFO sf{};
  SNDFILE* file = fd >= 0 ? sf_open_fd(fd, SFM_READ, &sf, SF_FALSE) : sf_open(path, SFM_READ, &sf);
  if (file == nullptr) {
    reason = sf_strerror(nullptr);
    return nullptr;
  }
  SoundFile owned(file);
  const EncodingRow* encoding = FindEncoding(sf.format & SF_FORMAT_SUBMASK);
  if (encoding == nullptr) {
    reason = "unsupported encoding";
    return nullptr;
  }
  if (sf.channels <= 0 || sf.samplerate <= 0) {
    reason = "no channels or no sample rate";
    return nullptr;
  }
  info.channels = sf.channels;
  info.sampleRate = sf.samplerate;
  info.frames = sf.frames == SF_COUNT_MAX ? -1 : sf.frames;  // FLAC's 0 means "not known"
  const int type = sf.format & SF_FORMAT_TYPEMASK;
  const int subtype = sf.format & SF_FORMAT_SUBMASK;  // PCM and float samples, not ADPCM
  if (fd < 0 && (type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX) && subtype >= SF_FORMAT_PCM_S8 &&
      subtype <= SF_FORMAT_DOUBLE) {
    info.declaredFrames = DeclaredWavFrames(path);
  }
  info.format = sf.format;
  info.samples = encoding->samples;
  info.lossy = encoding->lossy;
  info.encoding = encoding->name;
  info.container = DescribeContainer(sf.format);
  return owned;
}

std::string ShortfallOf(const SoundInfo& info, uint64_t framesRead) {
  const int64_t declared = std::max(info.frames, info.declaredFrames);
  if (info.lossy || declared <= 0 || framesRead >= static_cast<uint64_t>(declared)) return {};
  return "read failed: " + std::to_string(framesRead) + " of the " + std::to_string(declared) +
         " frames the file declares could be decoded";
}

bool HasSoundExtension(const char* name) {
  return ContainerOfName(name) != nullptr;
}

bool HasWavExtension(const char* name) {
  const ContainerRow* container = ContainerOfName(name);
  return container != nullptr && container->major == SF_FORMAT_WAV;
}

bool ChooseOutput(const char* outputPath, const std::string& formatName, const std::string& bits,
                  const SoundInfo& input, OutputChoice& choice, std::string& reason) {
  const ContainerRow* container = nullptr;
  if (!formatName.empty()) {
    container = ContainerOfFormat(formatName);
    if (container == nullptr) {
      reason =
          "unknown --format '" + formatName + "' (wav, rf64, w64, flac, aiff, caf, ogg, opus, mp3)";
      return false;
    }
  } else {
    container = ContainerOfName(outputPath);
  }
  int major = container != nullptr ? container->major : (input.format & SF_FORMAT_TYPEMASK);
  // Formats that libsndfile reads but does not write become WAV.
  if (container == nullptr && major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX &&
      major != SF_FORMAT_RF64 && major != SF_FORMAT_W64 && major != SF_FORMAT_FLAC &&
      major != SF_FORMAT_AIFF && major != SF_FORMAT_CAF) {
    major = SF_FORMAT_WAV;
  }
  if (major == SF_FORMAT_WAVEX) major = SF_FORMAT_WAV;
  SampleFormat samples = input.samples;
  if (!bits.empty() && !ParseBits(bits, samples)) {
    reason = "unknown --bits '" + bits + "' (8, 16, 24, 32, float, double)";
    return false;
  }
  int subtype = 0;
  if ((major == SF_FORMAT_OGG || major == SF_FORMAT_MPEG) && !bits.empty()) {
    reason = std::string(container->label) + " is lossy: --bits " + bits + " does not apply";
    return false;
  }
  if (major == SF_FORMAT_OGG) {
    subtype = container != nullptr && std::strcmp(container->name, "opus") == 0 ? SF_FORMAT_OPUS
                                                                                : SF_FORMAT_VORBIS;
    samples = {SampleKind::Float32, 32};
  } else if (major == SF_FORMAT_MPEG) {
    subtype = SF_FORMAT_MPEG_LAYER_III;
    samples = {SampleKind::Float32, 32};
  } else {
    subtype = SubtypeFor(major, samples);
    if (subtype == 0 && bits.empty()) {
      samples = {SampleKind::Int, 24};  // FLAC's nearest to 32-bit and float samples
      subtype = SF_FORMAT_PCM_24;
    }
    if (subtype == 0) {
      reason = std::string(container != nullptr ? container->label : "the container") +
               " cannot hold --bits " + bits + " samples";
      return false;
    }
  }
  choice.format = major | subtype;
  choice.samples = samples;
  SF_INFO probe{};
  probe.channels = input.channels;
  probe.samplerate = input.sampleRate;
  probe.format = choice.format;
  const std::span<const int> rates = EncoderRates(subtype);
  const bool rateFits = rates.empty() ? major != SF_FORMAT_FLAC || FlacRateFits(input.sampleRate)
                                      : std::ranges::find(rates, input.sampleRate) != rates.end();
  if (!rateFits || sf_format_check(&probe) == SF_FALSE) {
    reason = DescribeContainer(choice.format) + " cannot hold " + DescribeEncoding(choice.format) +
             " at " + std::to_string(input.channels) + " channels and " +
             std::to_string(input.sampleRate) + " Hz";
    if (!rates.empty() && !rateFits) {
      reason += " (it takes " + ListOfRates(rates) + " Hz; resample=rate=R converts to one)";
    }
    return false;
  }
  return true;
}

SoundFile OpenSoundForWriting(const char* path, int fd, int channels, int sampleRate, int format,
                              std::string& reason) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = sampleRate;
  const bool wav = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV;
  info.format = wav ? (format & SF_FORMAT_SUBMASK) | SF_FORMAT_RF64 : format;
  SoundFile file(fd != -1 ? sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE)
                          : sf_open(path, SFM_WRITE, &info));
  if (file == nullptr) {
    reason = std::string("cannot create '") + path + "': " + sf_strerror(nullptr);
  } else if (wav) {
    sf_command(file.get(), SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  }
  return file;
}

bool StoredLayoutOf(SNDFILE* file, PackedLayout& layout) {
  SF_INFO info{};
  if (sf_command(file, SFC_GET_CURRENT_SF_INFO, &info, sizeof info) != 0) return false;
  switch (info.format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
    case SF_FORMAT_W64:
    case SF_FORMAT_AIFF:
    case SF_FORMAT_CAF:
    case SF_FORMAT_AU:
      break;
    default:
      return false;
  }
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  layout.unsignedBytes = subtype == SF_FORMAT_PCM_U8;
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      layout.bytes = 1;
      break;
    case SF_FORMAT_PCM_16:
      layout.bytes = 2;
      break;
    case SF_FORMAT_PCM_24:
      layout.bytes = 3;
      break;
    case SF_FORMAT_PCM_32:
      layout.bytes = 4;
      break;
    default:
      return false;
  }
  const bool swapped = sf_command(file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
  layout.bigEndian = (std::endian::native == std::endian::big) != swapped;
  return true;
}

bool CloseOutput(SNDFILE* file, uint64_t frames) {
  // With no frames written, libsndfile would leave a FLAC file without its stream header, and a
  // WAV file (written as RF64 that downgrades itself) with a RIFF size 8 bytes short: its header
  // is made final now.
  SF_INFO info{};
  sf_command(file, SFC_GET_CURRENT_SF_INFO, &info, sizeof info);
  const int type = info.format & SF_FORMAT_TYPEMASK;
  bool written = true;
  if (frames == 0 && (type == SF_FORMAT_FLAC || type == SF_FORMAT_RF64)) {
    sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    written = sf_error(file) == SF_ERR_NO_ERROR;
  }
  return sf_close(file) == 0 && written;
}

void CopyMetadata(SNDFILE* from, SNDFILE* to) {
  // A container that cannot hold a piece refuses it; the audio does not depend on any of it.
  for (int type = SF_STR_FIRST; type <= SF_STR_LAST; ++type) {
    if (const char* text = sf_get_string(from, type)) sf_set_string(to, type, text);
  }
  SF_BROADCAST_INFO broadcast{};
  if (sf_command(from, SFC_GET_BROADCAST_INFO, &broadcast, sizeof broadcast) == SF_TRUE) {
    sf_command(to, SFC_SET_BROADCAST_INFO, &broadcast, sizeof broadcast);
  }
}

std::string DescribeEncoding(int format) {
  const EncodingRow* row = FindEncoding(format & SF_FORMAT_SUBMASK);
  return row != nullptr ? row->name : "unknown encoding";
}

std::string DescribeContainer(int format) {
  SF_FORMAT_INFO info{};
  info.format = format & SF_FORMAT_TYPEMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name != nullptr) {
    return info.name;
  }
  return "unknown container";
}

}  // namespace wavfx
