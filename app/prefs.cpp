#include "app/prefs.h"

namespace kestrune::app {

PrefUpdate parsePrefArgument(std::string_view argument) {
  PrefUpdate update;
  update.value = argument.size() >= 3 && argument.back() == '1';
  const std::string_view name = argument.substr(0, argument.find(' '));
  if (name == "startup") update.name = PrefName::Startup;
  if (name == "minimized") update.name = PrefName::Minimized;
  if (name == "notify") update.name = PrefName::Notify;
  return update;
}

std::string prefsText(const Prefs& prefs) {
  return "startup=" + std::string(prefs.startup ? "1" : "0") +
         "\nminimized=" + std::to_string(prefs.minimized) +
         "\nnotify=" + std::to_string(prefs.notify) + "\n";
}

}  // namespace kestrune::app
