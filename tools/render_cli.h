// The kestrune_render command: IN OUT [--intensity dry|light|normal|strong]
// [--period FRAMES] [--report]. Reads any sound file, runs it through the
// effect engine in periods of FRAMES (default 10 ms) and writes 32-bit float
// WAV of the same rate and channels.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/offline_render.h"

namespace kestrune {

struct RenderCommand {
  std::string inputPath;
  std::string outputPath;
  RenderSettings settings;
  bool report = false;
  bool help = false;  // --help or -h: print the usage and nothing else
};

// Parses the words after the program name; on failure fills message.
bool parseRenderCommand(const std::vector<std::string>& words, RenderCommand& command,
                        std::string& message);

// Runs the command; returns the exit code (0 done or help shown, 1 failed,
// one line on err). OUT is never written when it is the same file as IN.
int runRenderCommand(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

}  // namespace kestrune
