// The control pipe's command language: which command a list of words names
// and with which arguments. Keywords compare exactly, with case.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrune::service {

enum class CommandKind {
  Empty,
  Status,
  Endpoints,
  SetWanted,
  SetCompare,
  SetIntensity,
  SetMode,
  SetGames,
  Install,
  Uninstall,
  DebugCrashInstall,  // still subject to the Debug setting
  Unknown,
};

struct Command {
  CommandKind kind = CommandKind::Unknown;
  // SetWanted/SetCompare: 0 or 1; SetIntensity: 1..3; SetMode: 1 auto, 0 always.
  std::uint32_t number = 0;
  // SetGames: the list text; Install/DebugCrashInstall: the endpoint id.
  std::string_view text;
  bool full = false;
  bool force = false;
};

// Tests the commands in the dispatcher's order; views point into `words`.
Command parseCommand(const std::vector<std::string_view>& words);

}  // namespace kestrune::service
