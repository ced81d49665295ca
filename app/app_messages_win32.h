// The main window's private messages, timers and identifiers, and how a
// worker hands a heap payload to the window procedure.
#pragma once

#include <windows.h>

#include <memory>

namespace kestrune::app {

inline constexpr UINT kMsgTrayIcon = WM_APP + 1;        // wParam icon id, lParam mouse message
inline constexpr UINT kMsgPageJson = WM_APP + 2;        // lParam: owned std::wstring, one JSON text
inline constexpr UINT kMsgShow = WM_APP + 3;            // show the window
inline constexpr UINT kMsgStatusRefresh = WM_APP + 4;   // wParam switch state, lParam 1 = announce
inline constexpr UINT kMsgTrayUpdate = WM_APP + 9;      // wParam tray state, lParam: owned tooltip
inline constexpr UINT kMsgWebViewFailed = WM_APP + 10;  // lParam: owned std::wstring, box text

inline constexpr UINT_PTR kStatusTimer = 1;
inline constexpr UINT kStatusPeriodMs = 3000;
inline constexpr UINT_PTR kMeterTimer = 2;
inline constexpr UINT kMeterPeriodMs = 16;
inline constexpr int kHotKeyId = 1;
inline constexpr UINT kTrayIconId = 1;

// Posts `payload` to `window`; from then on it belongs to the window
// procedure, which takes it back with adoptPosted. When the post fails (the
// window is already gone) the payload is freed here instead of leaking.
template <typename T>
bool postOwned(HWND window, UINT message, WPARAM wParam, std::unique_ptr<T> payload) {
  if (!::PostMessageW(window, message, wParam, reinterpret_cast<LPARAM>(payload.get()))) {
    return false;
  }
  payload.release();
  return true;
}

template <typename T>
std::unique_ptr<T> adoptPosted(LPARAM lParam) {
  return std::unique_ptr<T>(reinterpret_cast<T*>(lParam));
}

}  // namespace kestrune::app
