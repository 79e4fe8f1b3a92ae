#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dsp/packed_pcm.h"

// libsndfile's handle, as its header declares it.
typedef struct sf_private_tag SNDFILE;

namespace wavfx {

// How samples are stored, as the effects' edge converts them.
enum class SampleKind { Int, Float32, Float64 };

struct SampleFormat {
  SampleKind kind;
  int bits;  // 8, 16, 24 or 32 for Int; 32 or 64 for the floats
  bool operator==(const SampleFormat&) const = default;
};

// What the general reader sees in a file.
struct SoundInfo {
  int channels;
  int sampleRate;
  int64_t frames;         // 0 or less when unknown
  int format;             // libsndfile's format word
  SampleFormat samples;   // what the samples decode to
  bool lossy;             // the encoding is not lossless (Vorbis, Opus, MPEG, ADPCM, GSM, ...)
  std::string container;  // "WAV", "FLAC", ...
  std::string encoding;   // "24-bit PCM", "IMA ADPCM", ...
  // What a WAV file's data chunk declares (0 when not known); the file may hold fewer frames.
  int64_t declaredFrames;
};

struct SoundFileCloser {
  void operator()(SNDFILE* file) const;
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

// "read failed: ..." when a lossless file gave fewer frames than it declares (corrupt or cut
// short; lossy decoders only estimate their length), else empty.
std::string ShortfallOf(const SoundInfo& info, uint64_t framesRead);

// Opens `path` (or the descriptor `fd` when it is not -1; it stays open) for reading. Returns null
// with `reason` set to one line when libsndfile cannot read it.
SoundFile OpenSoundForReading(const char* path, int fd, SoundInfo& info, std::string& reason);

// The output format chosen for a job: libsndfile's format word and the samples it holds.
struct OutputChoice {
  int format;
  SampleFormat samples;
};

// Chooses the output's container from `formatName` ("wav", "flac", ...; empty: from the output
// name's extension, or the input's container when the extension names none) and its samples from
// `bits` ("8", "16", "24", "32", "float", "double"; empty: the input's). A lossy or unwritable
// encoding becomes the nearest lossless one the container holds. Returns false with `reason` set
// for an unknown name or a combination the container cannot hold.
bool ChooseOutput(const char* outputPath, const std::string& formatName, const std::string& bits,
                  const SoundInfo& input, OutputChoice& choice, std::string& reason);

// Whether `name` ends in an extension the general writer knows, and whether that is WAV's.
bool HasSoundExtension(const char* name);
bool HasWavExtension(const char* name);

// Creates `path` (or writes to the descriptor `fd` when it is not -1; it stays open, and `path`
// only names it in `reason`) for `channels` channels at `sampleRate` in libsndfile's `format` (WAV
// as RF64 that stays plain RIFF while its data fits RIFF's 32-bit sizes). Returns null with
// `reason` set when libsndfile cannot.
SoundFile OpenSoundForWriting(const char* path, int fd, int channels, int sampleRate, int format,
                              std::string& reason);

// Whether libsndfile hands out the file's samples as stored (integer PCM in WAV, RF64, W64,
// AIFF, CAF or AU), and how they are packed; the general path then converts them itself.
bool StoredLayoutOf(SNDFILE* file, PackedLayout& layout);

// Closes a file opened for writing that `frames` frames were written to; false when the last
// writes failed.
bool CloseOutput(SNDFILE* file, uint64_t frames);

// Carries what the input's container holds beside the audio and the output's can take: text
// tags (LIST/INFO, FLAC and OGG comments) and the broadcast extension (bext). Call before the
// first write.
void CopyMetadata(SNDFILE* from, SNDFILE* to);

// The names of a libsndfile format word's encoding and container.
std::string DescribeEncoding(int format);
std::string DescribeContainer(int format);

}  // namespace wavfx
