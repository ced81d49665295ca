#include "tests/e2e/float_wav.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace kestrune::e2e {

namespace {

constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::size_t kFmtBytes = 16;
// In an extensible format block the subformat GUID starts with the tag.
constexpr std::size_t kSubformatOffset = 24;

std::uint32_t u16At(const std::string& b, std::size_t at) {
  return std::uint32_t{static_cast<unsigned char>(b[at])} |
         std::uint32_t{static_cast<unsigned char>(b[at + 1])} << 8;
}
std::uint32_t u32At(const std::string& b, std::size_t at) {
  return u16At(b, at) | u16At(b, at + 2) << 16;
}
void put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8 & 0xFF));
}
void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

struct Chunks {
  std::size_t fmt = 0, fmtSize = 0;
  std::size_t data = 0, dataSize = 0;
  bool hasFmt = false, hasData = false;
};

Chunks findChunks(const std::string& b) {
  Chunks c;
  std::size_t at = 12;
  while (at + 8 <= b.size()) {
    const std::string id = b.substr(at, 4);
    const std::size_t size = u32At(b, at + 4);
    const std::size_t body = at + 8;
    const std::size_t available = std::min(size, b.size() - body);
    if (id == "fmt " && !c.hasFmt) {
      c.fmt = body;
      c.fmtSize = available;
      c.hasFmt = true;
    } else if (id == "data" && !c.hasData) {
      c.data = body;
      c.dataSize = available;
      c.hasData = true;
    }
    at = body + size + (size & 1);
  }
  return c;
}

bool parse(const std::string& b, SoundBuffer& sound, std::string& message) {
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) {
    message = "not a WAV file";
    return false;
  }
  const Chunks c = findChunks(b);
  if (!c.hasFmt || c.fmtSize < kFmtBytes || !c.hasData) {
    message = "WAV file without format or data";
    return false;
  }
  std::uint32_t tag = u16At(b, c.fmt);
  if (tag == kFormatExtensible && c.fmtSize >= kSubformatOffset + 2)
    tag = u16At(b, c.fmt + kSubformatOffset);
  const std::uint32_t channels = u16At(b, c.fmt + 2);
  const std::uint32_t rate = u32At(b, c.fmt + 4);
  const std::uint32_t bits = u16At(b, c.fmt + 14);
  if (tag != kFormatFloat || bits != 32 || channels == 0 || rate == 0) {
    message = "WAV file is not 32-bit float";
    return false;
  }
  const std::size_t frameBytes = std::size_t{4} * channels;
  SoundBuffer read;
  read.channels = channels;
  read.sampleRate = rate;
  read.samples.resize(c.dataSize / frameBytes * channels);
  std::memcpy(read.samples.data(), b.data() + c.data, read.samples.size() * sizeof(float));
  sound = std::move(read);
  return true;
}

}  // namespace

bool loadFloatWav(const std::filesystem::path& path, SoundBuffer& sound, std::string& message) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    message = "cannot open " + path.string();
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return parse(bytes, sound, message);
}

bool saveFloatWav(const std::filesystem::path& path, const SoundBuffer& sound,
                  std::string& message) {
  const auto dataBytes = static_cast<std::uint32_t>(sound.samples.size() * sizeof(float));
  const std::uint32_t frameBytes = 4 * sound.channels;
  std::string out;
  out.reserve(58 + dataBytes);
  out += "RIFF";
  put32(out, 50 + dataBytes);
  out += "WAVEfmt ";
  put32(out, 18);  // non-PCM formats carry the extra-size field
  put16(out, kFormatFloat);
  put16(out, sound.channels);
  put32(out, static_cast<std::uint32_t>(sound.sampleRate));
  put32(out, static_cast<std::uint32_t>(sound.sampleRate) * frameBytes);
  put16(out, frameBytes);
  put16(out, 32);
  put16(out, 0);
  out += "fact";
  put32(out, 4);
  put32(out, static_cast<std::uint32_t>(sound.frames()));
  out += "data";
  put32(out, dataBytes);
  out.append(reinterpret_cast<const char*>(sound.samples.data()), dataBytes);

  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  file.close();
  if (!file) {
    message = "cannot write " + path.string();
    return false;
  }
  return true;
}

}  // namespace kestrune::e2e
