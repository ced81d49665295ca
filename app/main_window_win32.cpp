#include "app/main_window_win32.h"

#include <dwmapi.h>

#include "app/app_messages_win32.h"
#include "app/app_paths_win32.h"
#include "app/bridge.h"
#include "app/page_messages.h"
#include "app/service_pipe_win32.h"
#include "app/tray_actions_win32.h"
#include "app/user_prefs_win32.h"
#include "app/window_geometry.h"
#include "common/handles_win32.h"
#include "common/names.h"
#include "common/utf8_win32.h"

namespace kestrune::app {

namespace {

// Frame attributes by number: older SDK headers lack their names.
constexpr DWORD kDwmUseImmersiveDarkMode = 20;
constexpr DWORD kDwmWindowCornerPreference = 33;
constexpr DWORD kDwmCornerRound = 2;

constexpr UINT kHotKeyModifiers = MOD_CONTROL | MOD_ALT | MOD_NOREPEAT;
constexpr UINT kHotKeyKey = 'F';
constexpr wchar_t kHotKeyTakenText[] =
    L"Ctrl+Alt+F is taken by another app. Use the window or the tray icon to switch Orvantis.";
constexpr wchar_t kTitle[] = L"Orvantis";

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, const StartOptions& options)
    : instance_(instance), options_(options) {}

bool MainWindow::createWindow() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance_;
  windowClass.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(1));
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = ::CreateSolidBrush(RGB(10, 10, 11));
  windowClass.lpszClassName = kAppWindowClass;
  ::RegisterClassExW(&windowClass);

  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const WindowPlacement at = mainWindowPlacement(static_cast<int>(::GetDpiForSystem()),
                                                 {work.left, work.top, work.right, work.bottom});
  ::CreateWindowExW(WS_EX_APPWINDOW, kAppWindowClass, kTitle,
                    WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, at.left, at.top,
                    at.width, at.height, nullptr, nullptr, instance_, this);
  if (!window_) return false;
  const DWORD corner = kDwmCornerRound;
  ::DwmSetWindowAttribute(window_, kDwmWindowCornerPreference, &corner, sizeof corner);
  const BOOL dark = TRUE;
  ::DwmSetWindowAttribute(window_, kDwmUseImmersiveDarkMode, &dark, sizeof dark);
  return true;
}

int MainWindow::run() {
  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  exePath_ = exePath();
  // Without a window nothing could ever end the message loop.
  if (!createWindow()) return 0;
  taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
  tray_.add(window_, instance_);
  ::SetTimer(window_, kStatusTimer, kStatusPeriodMs, nullptr);
  resumeIfQuitWhileOn();
  ::PostMessageW(window_, kMsgStatusRefresh, 0, 0);
  if (!::RegisterHotKey(window_, kHotKeyId, kHotKeyModifiers, kHotKeyKey)) {
    tray_.balloon(kHotKeyTakenText);
  }
  webView_.create(window_, exePath_, options_.devMode);
  if (!startsHidden(options_, readUserDword(kValueStartMinimized))) {
    ::ShowWindow(window_, SW_SHOW);
    ::SetTimer(window_, kMeterTimer, kMeterPeriodMs, nullptr);
  }
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

void MainWindow::resumeIfQuitWhileOn() {
  const auto resume = readUserDword(kValueResumeOn);
  if (!resume || *resume == 0) return;
  writeUserDword(kValueResumeOn, 0);
  sendInBackground(window_, kCommandWantedOn);
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
  return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    tray_.addAgain();
    ::PostMessageW(window_, kMsgStatusRefresh, 0, 0);
    return 0;
  }
  switch (message) {
    case WM_DESTROY:
      ::UnregisterHotKey(window_, kHotKeyId);
      tray_.remove();
      webView_.close();
      ::PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      webView_.fitToWindow();
      return 0;
    case WM_COMMAND:
      onCommand(wParam);
      return 0;
    case WM_CLOSE:
      hide();
      return 0;
    case WM_TIMER:
      if (wParam == kMeterTimer) {
        if (!::IsIconic(window_)) meterTick();
      } else {
        ::PostMessageW(window_, kMsgStatusRefresh, 0, 0);
      }
      return 0;
    case WM_HOTKEY:
      if (wParam == kHotKeyId) startToggle(window_);
      return 0;
    case kMsgTrayIcon:
      onTrayIcon(lParam);
      return 0;
    case kMsgPageJson:
      if (const auto json = adoptPosted<std::wstring>(lParam)) webView_.postJson(*json);
      return 0;
    case kMsgShow:
      show();
      return 0;
    case kMsgStatusRefresh:
      statusRefresh(wParam != 0, lParam == 1);
      return 0;
    case kMsgTrayUpdate:
      if (const auto tooltip = adoptPosted<std::wstring>(lParam)) {
        tray_.update(static_cast<TrayState>(wParam), *tooltip);
      }
      return 0;
    case kMsgWebViewFailed: {
      const auto text = adoptPosted<std::wstring>(lParam);
      if (!text) return 0;
      ::MessageBoxW(window_, text->c_str(), kTitle, MB_OK | MB_ICONERROR);
      ::DestroyWindow(window_);
      return 0;
    }
    default:
      return ::DefWindowProcW(window_, message, wParam, lParam);
  }
}

void MainWindow::onCommand(WPARAM id) {
  // The whole wParam counts: a value that only ends in 3 must not quit.
  if (id > static_cast<WPARAM>(WindowCommand::Quit)) return;
  switch (static_cast<WindowCommand>(id)) {
    case WindowCommand::Minimize:
      ::ShowWindow(window_, SW_MINIMIZE);
      break;
    case WindowCommand::Hide:
      hide();
      break;
    case WindowCommand::Quit:
      ::DestroyWindow(window_);
      break;
    default:
      break;
  }
}

void MainWindow::onTrayIcon(LPARAM mouseMessage) {
  if (mouseMessage == WM_LBUTTONUP) show();
  if (mouseMessage == WM_RBUTTONUP) runTrayMenu(window_);
}

void MainWindow::show() {
  ::ShowWindow(window_, ::IsIconic(window_) ? SW_RESTORE : SW_SHOW);
  ::SetForegroundWindow(window_);
  webView_.setVisible(true);
  ::SetTimer(window_, kMeterTimer, kMeterPeriodMs, nullptr);
  postPageText(pageEvent(kEventRefresh));
}

void MainWindow::hide() {
  ::ShowWindow(window_, SW_HIDE);
  webView_.setVisible(false);
  ::KillTimer(window_, kMeterTimer);
}

void MainWindow::statusRefresh(bool nowOn, bool announce) {
  if (announce) tray_.balloon(nowOn ? L"On" : L"Off");
  startStatusPoll(window_);
  postPageText(pageEvent(kEventRefresh));
}

void MainWindow::meterTick() {
  const MeterTick tick = meterFeed_.tick(webView_.ready());
  if (!tick.format.empty()) postPageText(tick.format);
  if (!tick.meter.empty()) postPageText(tick.meter);
}

void MainWindow::postPageText(const std::string& utf8) {
  if (webView_.ready()) webView_.postJson(utf8ToWide(utf8));
}

int runApp(HINSTANCE instance, const wchar_t* commandLine) {
  const StartOptions options = parseStartOptions(commandLine ? commandLine : L"");
  UniqueHandle mutex(::CreateMutexW(nullptr, TRUE, kAppMutexName));
  // Access denied: an instance started as administrator holds the name.
  const DWORD created = ::GetLastError();
  if (created == ERROR_ALREADY_EXISTS || (!mutex && created == ERROR_ACCESS_DENIED)) {
    if (HWND running = ::FindWindowW(kAppWindowClass, nullptr)) {
      DWORD processId = 0;
      ::GetWindowThreadProcessId(running, &processId);
      // Lets the running instance take the foreground when it shows itself.
      ::AllowSetForegroundWindow(processId);
      ::PostMessageW(running, kMsgShow, 0, 0);
    }
    return 0;
  }
  MainWindow window(instance, options);
  return window.run();
}

}  // namespace kestrune::app
