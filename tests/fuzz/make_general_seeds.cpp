// Writes a small file of every format and encoding the general reader takes into DIR, each
// behind the fuzz target's leading option byte.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const int formats[] = {
      SF_FORMAT_WAV | SF_FORMAT_PCM_U8,
      SF_FORMAT_WAV | SF_FORMAT_PCM_24,
      SF_FORMAT_WAV | SF_FORMAT_PCM_32,
      SF_FORMAT_WAV | SF_FORMAT_FLOAT,
      SF_FORMAT_WAV | SF_FORMAT_DOUBLE,
      SF_FORMAT_WAV | SF_FORMAT_ULAW,
      SF_FORMAT_WAV | SF_FORMAT_ALAW,
      SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM,
      SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM,
      SF_FORMAT_WAV | SF_FORMAT_GSM610,
      SF_FORMAT_WAVEX | SF_FORMAT_PCM_24,
      SF_FORMAT_RF64 | SF_FORMAT_PCM_24,
      SF_FORMAT_W64 | SF_FORMAT_FLOAT,
      SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
      SF_FORMAT_FLAC | SF_FORMAT_PCM_24,
      SF_FORMAT_AIFF | SF_FORMAT_PCM_16,
      SF_FORMAT_AIFF | SF_FORMAT_FLOAT,
      SF_FORMAT_CAF | SF_FORMAT_PCM_24,
      SF_FORMAT_OGG | SF_FORMAT_VORBIS,
      SF_FORMAT_OGG | SF_FORMAT_OPUS,
      SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
  };
  std::vector<float> values(2 * 960);
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
  int written = 0;
  for (int format : formats) {
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 48000;
    info.format = format;
    const std::string temporary = std::string(argv[1]) + "/.tmp";
    SNDFILE* file = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (file == nullptr) continue;  // an encoder this libsndfile lacks
    sf_writef_float(file, values.data(), 960);
    sf_close(file);
    std::ifstream in(temporary, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(temporary.c_str());
    char name[64];
    std::snprintf(name, sizeof name, "/%08x", static_cast<unsigned>(format));
    std::ofstream out(std::string(argv[1]) + name, std::ios::binary);
    out << static_cast<char>(written % 16) << bytes;
    ++written;
  }
  std::printf("%d seeds written to %s\n", written, argv[1]);
  return 0;
}
