// What the command line asks of the app at start-up.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrune::app {

struct StartOptions {
  bool devMode = false;  // "--dev" anywhere: developer tools, context menus, browser keys
  bool startup = false;  // "--startup" anywhere: started with Windows
};

// Plain case-sensitive substring searches; a missing command line is empty.
StartOptions parseStartOptions(std::wstring_view commandLine);

// Stay in the tray only when started with Windows and StartMinimized is
// present and nonzero.
bool startsHidden(const StartOptions& options, std::optional<std::uint32_t> startMinimized);

}  // namespace kestrune::app
