// The user's preferences as the page sees them: the "pref" argument rule and
// the "prefs" reply text. Storage is the platform's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::app {

enum class PrefName { Startup, Minimized, Notify };

struct PrefUpdate {
  std::optional<PrefName> name;  // none for an unknown name
  bool value = false;
};

// "<name> <value>": the name runs to the first space; the value is 1 when the
// argument has at least 3 bytes and ends in "1", else 0.
PrefUpdate parsePrefArgument(std::string_view argument);

struct Prefs {
  bool startup = false;         // the Run value is present
  std::uint32_t minimized = 0;  // StartMinimized, default 0
  std::uint32_t notify = 1;     // Notify, default 1
};

// "startup=S\nminimized=M\nnotify=N\n".
std::string prefsText(const Prefs& prefs);

}  // namespace kestrune::app
