// [ui] The web view that fills the main window: loads WebView2Loader.dll
// from the exe folder, creates the control, applies its settings, serves the
// page folder under the private host, and keeps the control on that host.
#pragma once

#include <windows.h>

#include <string>

#include "app/webview2_abi_win32.h"
#include "common/handles_win32.h"

namespace kestrune::app {

// Box text when the runtime is missing or fails to start.
inline constexpr wchar_t kRuntimeMissingText[] =
    L"Orvantis needs the Microsoft Edge WebView2 Runtime (part of Windows 11).";

class WebViewHost {
 public:
  // Starts the asynchronous creation inside `window`. Every failure that
  // ends the app (no usable loader, no runtime) is posted to `window` as
  // kMsgWebViewFailed with the text for the message box.
  void create(HWND window, const std::wstring& exePath, bool devMode);

  // The web view exists (created and not yet closed).
  bool ready() const { return static_cast<bool>(webView_); }
  // A JSON text for the page; dropped while the web view does not exist.
  void postJson(const std::wstring& json);
  void setVisible(bool visible);
  // Bounds = the window's client rectangle.
  void fitToWindow();
  void close();

 private:
  HRESULT onEnvironment(HRESULT result, webview2::ICoreWebView2Environment* environment);
  HRESULT onController(HRESULT result, webview2::ICoreWebView2Controller* controller);
  void applySettings();
  void listen();
  HRESULT onWebMessage(webview2::ICoreWebView2WebMessageReceivedEventArgs* args);
  HRESULT onNewWindow(webview2::ICoreWebView2NewWindowRequestedEventArgs* args);
  HRESULT onNavigationStarting(webview2::ICoreWebView2NavigationStartingEventArgs* args);
  void fail(std::wstring text);

  // Declared first so that it is freed last, after every object it made.
  UniqueModule loader_;
  HWND window_ = nullptr;
  std::wstring exePath_;
  bool devMode_ = false;
  bool failed_ = false;
  ComPtr<webview2::ICoreWebView2Controller> controller_;
  ComPtr<webview2::ICoreWebView2> webView_;
};

}  // namespace kestrune::app
