// The Start-menu shortcut to the desktop app.
#pragma once

#include <string>

namespace kestrune::service {

// Saves shortcutPath pointing at target, working in `workFolder`, through the
// shell link object. Any COM failure skips the rest silently; false then.
bool createShortcut(const std::wstring& shortcutPath, const std::wstring& target,
                    const std::wstring& workFolder, const wchar_t* description);

}  // namespace kestrune::service
