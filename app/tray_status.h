// From the service's status reply to what the tray shows, and the two
// decisions taken on the status before switching: the toggle and Quit.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/status_map.h"

namespace kestrune::app {

// Icon resource = state + 2.
enum class TrayState : int { Active = 0, Waiting = 1, Off = 2, Attention = 3 };

struct TrayView {
  TrayState state = TrayState::Attention;
  std::string tooltip;  // UTF-8
};

// The decision rule: first matching row wins (error reply, no endpoint,
// drift, active, waiting, off).
TrayView trayViewForReply(std::string_view reply);

// "Light" for "1", "Normal" for "2", "Strong" for anything else.
std::string_view intensityWord(std::string_view intensity);

// What the hot key (and the menu's "On") sends: nothing without a `wanted`
// key, else the command that flips it and whether the effect is then on.
struct ToggleStep {
  std::string command;
  bool nowOn = false;
};
std::optional<ToggleStep> toggleStep(const StatusMap& status);

inline constexpr char kCommandStatus[] = "status";
inline constexpr char kCommandWantedOn[] = "set wanted 1";
inline constexpr char kCommandWantedOff[] = "set wanted 0";

}  // namespace kestrune::app
