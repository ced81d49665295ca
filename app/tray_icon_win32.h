// [ui] The notification-area icon: one record kept for the whole run, so
// the icon can be added again when the shell restarts.
#pragma once

#include <windows.h>
// Needs windows.h included before it.
#include <shellapi.h>

#include <string>

#include "app/tray_status.h"

namespace kestrune::app {

class TrayIcon {
 public:
  TrayIcon() = default;
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // The start-up picture (icon resource 3, tooltip "Orvantis"), added.
  void add(HWND owner, HINSTANCE instance);
  // After the shell restarted ("TaskbarCreated"): the current icon and
  // tooltip again.
  void addAgain();
  // Icon resource state + 2 and the tooltip (cut to 127 characters).
  void update(TrayState state, const std::wstring& tooltip);
  // A silent balloon, unless the user switched notifications off. Icon and
  // tooltip stay as they are.
  void balloon(const std::wstring& text);
  void remove();

 private:
  HICON loadIcon(int resource) const;

  HINSTANCE instance_ = nullptr;
  NOTIFYICONDATAW record_{};
};

}  // namespace kestrune::app
