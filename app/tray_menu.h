// The tray icon's popup menu as data: items, flags and the intensity radio
// mark, built from the status; the Win32 side only turns it into a menu.
#pragma once

#include <string>
#include <vector>

#include "app/status_map.h"

namespace kestrune::app {

enum TrayCommand : unsigned {
  kTrayOpen = 100,
  kTrayOn = 101,
  kTrayLight = 102,
  kTrayNormal = 103,
  kTrayStrong = 104,
  kTrayQuit = 105,
};

struct TrayMenuItem {
  unsigned id = 0;   // 0 for separators and the submenu's parent
  std::string text;  // UTF-8; empty for a separator
  bool isDefault = false;
  bool checked = false;
  bool grayed = false;
  std::vector<TrayMenuItem> submenu;
};

struct TrayMenu {
  std::vector<TrayMenuItem> items;
  unsigned radioId = 0;  // the intensity item carrying the radio mark, 0 for none
};

TrayMenu trayMenuFor(const StatusMap& status);

// "set intensity 1" .. "set intensity 3" for the three intensity items.
std::string intensityCommand(unsigned command);

}  // namespace kestrune::app
