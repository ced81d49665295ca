#include "tools/sound_file.h"

#include <sndfile.h>

#include <cstdio>
#include <limits>

namespace kestrune {

bool readSoundFile(const std::string& path, SoundBuffer& sound, std::string& message) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    message = "cannot read " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  if (info.channels <= 0 || info.samplerate <= 0 || info.frames < 0 ||
      static_cast<std::uint64_t>(info.frames) * static_cast<std::uint64_t>(info.channels) >
          std::numeric_limits<std::uint32_t>::max()) {
    sf_close(file);
    message = "unsupported input " + path + ": too long or no channels";
    return false;
  }
  sound.channels = static_cast<std::uint32_t>(info.channels);
  sound.sampleRate = info.samplerate;
  sound.samples.assign(static_cast<std::size_t>(info.frames) * sound.channels, 0.0f);
  const sf_count_t got = sf_readf_float(file, sound.samples.data(), info.frames);
  sf_close(file);
  if (got != info.frames) {
    message = "cannot read " + path + ": the file ends early";
    return false;
  }
  return true;
}

bool writeFloatWav(const std::string& path, const SoundBuffer& sound, std::string& message) {
  SF_INFO info{};
  info.channels = static_cast<int>(sound.channels);
  info.samplerate = static_cast<int>(sound.sampleRate);
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  const std::string partial = path + ".part";
  SNDFILE* file = sf_open(partial.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    message = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  const auto frames = static_cast<sf_count_t>(sound.frames());
  const sf_count_t put = sf_writef_float(file, sound.samples.data(), frames);
  const int closed = sf_close(file);
  if (put != frames || closed != 0 || std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    message = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace kestrune
