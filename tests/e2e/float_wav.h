// 32-bit float WAV files: the stand-in audio engine reads the scene from one
// and writes what the effect played into another.
#pragma once

#include <filesystem>
#include <string>

#include "tools/sound_file.h"

namespace kestrune::e2e {

// Reads a WAV file of 32-bit IEEE float samples (format tag 3, or the
// extensible tag with the float subformat). Anything else, or a file cut
// short, fails with a short message and leaves `sound` unchanged.
bool loadFloatWav(const std::filesystem::path& path, SoundBuffer& sound, std::string& message);

// Writes `sound` as a 32-bit float WAV file; false with a message on failure.
bool saveFloatWav(const std::filesystem::path& path, const SoundBuffer& sound,
                  std::string& message);

}  // namespace kestrune::e2e
