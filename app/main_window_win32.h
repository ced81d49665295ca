// [ui] kestrune_app's one window: start-up in order, the window procedure's
// message table, the show and hide operations, timers, hot key and teardown.
#pragma once

#include <windows.h>

#include <string>

#include "app/meter_feed.h"
#include "app/meter_section_win32.h"
#include "app/start_options.h"
#include "app/tray_icon_win32.h"
#include "app/webview_host_win32.h"

namespace kestrune::app {

class MainWindow {
 public:
  MainWindow(HINSTANCE instance, const StartOptions& options);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Start-up from the DPI awareness on, the message loop, and the end.
  // Returns the process's exit code.
  int run();

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  bool createWindow();
  void resumeIfQuitWhileOn();
  void show();
  void hide();
  void onCommand(WPARAM id);
  void onTrayIcon(LPARAM mouseMessage);
  void statusRefresh(bool nowOn, bool announce);
  void meterTick();
  void postPageText(const std::string& utf8);

  HINSTANCE instance_;
  StartOptions options_;
  std::wstring exePath_;
  HWND window_ = nullptr;
  UINT taskbarCreated_ = 0;
  TrayIcon tray_;
  WebViewHost webView_;
  MeterSectionOpener meterSource_;
  MeterFeed meterFeed_{meterSource_};
};

// The whole program: command line, single instance, window, loop.
int runApp(HINSTANCE instance, const wchar_t* commandLine);

}  // namespace kestrune::app
