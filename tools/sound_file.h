// Reading and writing whole sound files as interleaved 32-bit float (libsndfile).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

struct SoundBuffer {
  std::uint32_t channels = 0;
  double sampleRate = 0.0;
  std::vector<float> samples;  // interleaved

  std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

// Reads any format libsndfile knows. On failure fills message and returns false.
bool readSoundFile(const std::string& path, SoundBuffer& sound, std::string& message);

// Writes a 32-bit float WAV file. The file appears at path only when it has
// been written completely (written beside it, then renamed); on failure
// nothing is left behind.
bool writeFloatWav(const std::string& path, const SoundBuffer& sound, std::string& message);

}  // namespace kestrune
