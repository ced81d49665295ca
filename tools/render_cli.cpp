#include "tools/render_cli.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "tools/sound_file.h"

namespace kestrune {

namespace {

constexpr std::uint32_t kMaxPeriodFrames = 1u << 20;
constexpr char kUsage[] =
    "usage: kestrune_render IN OUT [--intensity dry|light|normal|strong] [--period FRAMES] "
    "[--report]";
constexpr char kOptions[] =
    "  IN                 any sound file libsndfile reads\n"
    "  OUT                32-bit float WAV, same rate and channels, delayed by the latency\n"
    "  --intensity WHICH  dry, light, normal (default) or strong\n"
    "  --period FRAMES    frames per call, 1 to 1048576 (default 10 ms)\n"
    "  --report           print latency, mode, peaks and how often each status bit was set\n"
    "  -h, --help         print this help\n";

// Device and inode, so that a hard link, a symlink or another spelling of
// the same path is caught too.
bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

double toDbfs(float peak) { return peak > 0.0f ? 20.0 * std::log10(peak) : -INFINITY; }

void printReport(std::ostream& out, const RenderReport& r, const SoundBuffer& sound) {
  char line[160];
  std::snprintf(line, sizeof line, "format: %u channels, %.0f Hz, %zu frames\n", sound.channels,
                sound.sampleRate, sound.frames());
  out << line;
  out << "mode: " << (r.active ? "active" : "pass-through") << "\n";
  std::snprintf(line, sizeof line, "latency: %d frames (%.2f ms)\n", r.latencyFrames,
                1000.0 * r.latencyFrames / sound.sampleRate);
  out << line;
  std::snprintf(line, sizeof line, "periods: %llu of %u frames\n",
                static_cast<unsigned long long>(r.calls), r.periodFrames);
  out << line;
  std::snprintf(line, sizeof line, "input peak: %.2f dBFS\noutput peak: %.2f dBFS\n",
                toDbfs(r.inputPeak), toDbfs(r.outputPeak));
  out << line;
  const char* names[] = {"transient boost (1)", "centre duck (2)", "compressor (4)",
                         "processor playing (8)"};
  for (int bit = 0; bit < 4; ++bit) {
    const double share =
        r.calls ? 100.0 * static_cast<double>(r.callsWithStatus[bit]) / static_cast<double>(r.calls)
                : 0.0;
    std::snprintf(line, sizeof line, "periods with %s: %.1f %%\n", names[bit], share);
    out << line;
  }
}

}  // namespace

bool parseRenderCommand(const std::vector<std::string>& words, RenderCommand& command,
                        std::string& message) {
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--help" || word == "-h") {
      command.help = true;
      return true;
    }
    if (word == "--report") {
      command.report = true;
    } else if (word == "--intensity" || word == "--period") {
      if (i + 1 == words.size()) {
        message = word + " needs a value";
        return false;
      }
      const std::string& value = words[++i];
      if (word == "--intensity") {
        const auto selector = selectorForIntensity(value);
        if (!selector) {
          message = "unknown intensity " + value + " (dry, light, normal or strong)";
          return false;
        }
        command.settings.selector = *selector;
      } else {
        std::uint32_t frames = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), frames);
        if (ec != std::errc() || end != value.data() + value.size() || frames == 0 ||
            frames > kMaxPeriodFrames) {
          message = "--period wants a frame count from 1 to 1048576, not " + value;
          return false;
        }
        command.settings.periodFrames = frames;
      }
    } else if (word.size() > 1 && word[0] == '-' && word[1] == '-') {
      message = "unknown option " + word;
      return false;
    } else {
      paths.push_back(word);
    }
  }
  if (paths.size() != 2) {
    message = kUsage;
    return false;
  }
  command.inputPath = paths[0];
  command.outputPath = paths[1];
  return true;
}

int runRenderCommand(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  RenderCommand command;
  std::string message;
  if (!parseRenderCommand(words, command, message)) {
    err << "kestrune_render: " << message << "\n";
    return 1;
  }
  if (command.help) {
    out << kUsage << "\n" << kOptions;
    return 0;
  }
  // The output is first written beside OUT, so that name must not be IN either.
  for (const std::string& target : {command.outputPath, command.outputPath + ".part"}) {
    if (sameFile(command.inputPath, target)) {
      err << "kestrune_render: writing " << target << " would overwrite IN " << command.inputPath
          << "; choose another OUT (nothing was written)\n";
      return 1;
    }
  }
  SoundBuffer sound;
  if (!readSoundFile(command.inputPath, sound, message)) {
    err << "kestrune_render: " << message << "\n";
    return 1;
  }
  RenderReport report;
  if (!renderThroughEngine(sound.samples.data(), sound.samples.data(), sound.frames(),
                           sound.channels, sound.sampleRate, command.settings, report)) {
    err << "kestrune_render: out of memory\n";
    return 1;
  }
  if (!writeFloatWav(command.outputPath, sound, message)) {
    err << "kestrune_render: " << message << "\n";
    return 1;
  }
  if (command.report) printReport(out, report, sound);
  return 0;
}

}  // namespace kestrune
