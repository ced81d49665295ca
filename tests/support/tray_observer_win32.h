// Stands in for the shell's notification area: owns the top-level window of
// class "Shell_TrayWnd", to which Shell_NotifyIconW delivers every call by
// WM_COPYDATA, and records what arrives. Wine's record layout, as observed
// with Wine 8: dwData = NIM_ADD/MODIFY/DELETE; at byte 0 the owner window
// (32 bits), 4 uID, 8 uFlags, 12 uCallbackMessage, 16 szTip[128], 280
// szInfo[256], 796 szInfoTitle[64], 924 dwInfoFlags, 944 icon width,
// height, planes, bits per pixel (32-bit fields), and from 960 the icon's
// mask bits, then its colour bits.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrune::test {

struct TrayEvent {
  DWORD message = 0;  // NIM_ADD, NIM_MODIFY, NIM_DELETE
  DWORD owner = 0;    // low 32 bits of the owner window handle
  UINT id = 0;
  UINT flags = 0;
  UINT callbackMessage = 0;
  std::wstring tip;
  std::wstring info;
  std::wstring infoTitle;
  DWORD infoFlags = 0;
  int iconWidth = 0;  // 0 when the call carried no icon
  int iconHeight = 0;
  COLORREF iconColour = 0;  // mean colour of the icon's opaque pixels
};

class TrayObserver {
 public:
  TrayObserver();
  ~TrayObserver();
  TrayObserver(const TrayObserver&) = delete;
  TrayObserver& operator=(const TrayObserver&) = delete;

  std::vector<TrayEvent> events() const;
  // Waits until `done` holds for the events so far; false after `timeoutMs`.
  bool waitFor(const std::function<bool(const std::vector<TrayEvent>&)>& done,
               DWORD timeoutMs = 10000) const;
  // Announces a restarted shell to every top-level window.
  void broadcastTaskbarCreated() const;

 private:
  void serve();
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<TrayEvent> events_;
  HWND window_ = nullptr;
  DWORD threadId_ = 0;
  bool ready_ = false;
  std::thread thread_;
};

// The mean colour of the opaque pixels of icon resource `id` of `module` at
// `size` pixels, as the tray record carries it; for telling icons apart.
COLORREF iconResourceColour(HMODULE module, int id, int size);

// The index in `candidates` of the colour nearest to `colour`.
std::size_t nearestColour(COLORREF colour, const std::vector<COLORREF>& candidates);

}  // namespace kestrune::test
