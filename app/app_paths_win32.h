// Where the app finds itself and keeps the web view's data.
#pragma once

#include <string>

namespace kestrune::app {

// The running executable's full path (at most 260 characters).
std::wstring exePath();

// `path` cut at its last backslash, without it.
std::wstring folderOf(const std::wstring& path);

// LOCALAPPDATA + "\Kestrune\WebView2". When the variable is missing, empty
// or longer than 259 characters, the user's known Local AppData folder
// stands in for it, so the web view never gets a relative or cut path.
std::wstring webViewDataFolder();

}  // namespace kestrune::app
