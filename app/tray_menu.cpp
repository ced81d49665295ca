#include "app/tray_menu.h"

namespace kestrune::app {

TrayMenu trayMenuFor(const StatusMap& status) {
  const bool unknown = !status.contains("wanted");
  TrayMenuItem intensity{0, "Intensity", false, false, unknown, {}};
  intensity.submenu = {{kTrayLight, "Light", false, false, unknown, {}},
                       {kTrayNormal, "Normal", false, false, unknown, {}},
                       {kTrayStrong, "Strong", false, false, unknown, {}}};
  TrayMenu menu;
  menu.items = {{kTrayOpen, "Open Orvantis", true, false, false, {}},
                {},
                {kTrayOn, "On\tCtrl+Alt+F", false, statusIsOne(status, "wanted"), unknown, {}},
                std::move(intensity),
                {},
                {kTrayQuit, "Quit Orvantis", false, false, false, {}}};
  const std::string_view level = statusValue(status, "intensity");
  if (!level.empty() && level[0] >= '1' && level[0] <= '3') {
    menu.radioId = kTrayOn + static_cast<unsigned>(level[0] - '0');
  }
  return menu;
}

std::string intensityCommand(unsigned command) {
  return "set intensity " + std::string(1, static_cast<char>('0' + (command - kTrayOn)));
}

}  // namespace kestrune::app
