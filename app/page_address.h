// Where the page lives and which addresses leave the app: the private host
// that serves the page folder, the start page, and the rules for addresses
// the page asks to open or navigate to.
#pragma once

#include <string_view>

namespace kestrune::app {

// Exists only inside the web view; the reserved ".example" name never
// resolves anywhere else.
inline constexpr char kPageHost[] = "kestrune.example";
inline constexpr char kPageOrigin[] = "https://kestrune.example/";
inline constexpr char kStartPage[] = "https://kestrune.example/index.html";

// A document served from the page folder. Bridge requests are accepted only
// from such documents and the web view may navigate only to them, so a
// foreign site can never drive the service or the repair prompt.
bool isPageAddress(std::string_view address);

// New windows and cancelled navigations go to the default browser only for
// "https://" addresses; others are dropped.
bool opensInBrowser(std::string_view address);

// The bridge's "open": "https://" or "mailto:".
bool isOpenableAddress(std::string_view address);

}  // namespace kestrune::app
