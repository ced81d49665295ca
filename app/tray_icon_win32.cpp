#include "app/tray_icon_win32.h"

#include <algorithm>

#include "app/app_messages_win32.h"
#include "app/user_prefs_win32.h"

namespace kestrune::app {

namespace {

// NOTIFYICONDATAW as the shell has known it since Vista (x64).
constexpr DWORD kRecordBytes = 976;
static_assert(sizeof(NOTIFYICONDATAW) == kRecordBytes);
constexpr UINT kIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr int kStartIcon = 3;

template <std::size_t N>
void copyCut(wchar_t (&field)[N], const std::wstring& text) {
  const std::size_t n = std::min(text.size(), N - 1);
  text.copy(field, n);
  field[n] = L'\0';
}

}  // namespace

TrayIcon::~TrayIcon() {
  if (record_.hIcon) ::DestroyIcon(record_.hIcon);
}

HICON TrayIcon::loadIcon(int resource) const {
  const int size = ::GetSystemMetrics(SM_CXSMICON);
  return static_cast<HICON>(
      ::LoadImageW(instance_, MAKEINTRESOURCEW(resource), IMAGE_ICON, size, size, 0));
}

void TrayIcon::add(HWND owner, HINSTANCE instance) {
  instance_ = instance;
  record_.cbSize = kRecordBytes;
  record_.hWnd = owner;
  record_.uID = kTrayIconId;
  record_.uCallbackMessage = kMsgTrayIcon;
  record_.hIcon = loadIcon(kStartIcon);
  copyCut(record_.szTip, L"Orvantis");
  addAgain();
}

void TrayIcon::addAgain() {
  // A balloon leaves NIF_INFO alone in the flags; adding with those would
  // bring back an icon without picture or callback and replay the balloon.
  record_.uFlags = kIconFlags;
  ::Shell_NotifyIconW(NIM_ADD, &record_);
}

void TrayIcon::update(TrayState state, const std::wstring& tooltip) {
  HICON previous = record_.hIcon;
  record_.uFlags = kIconFlags;
  record_.hIcon = loadIcon(static_cast<int>(state) + 2);
  copyCut(record_.szTip, tooltip);
  ::Shell_NotifyIconW(NIM_MODIFY, &record_);
  if (previous) ::DestroyIcon(previous);
}

void TrayIcon::balloon(const std::wstring& text) {
  if (!balloonsEnabled()) return;
  record_.uFlags = NIF_INFO;
  copyCut(record_.szInfoTitle, L"Orvantis");
  copyCut(record_.szInfo, text);
  record_.dwInfoFlags = NIIF_NOSOUND;
  ::Shell_NotifyIconW(NIM_MODIFY, &record_);
}

void TrayIcon::remove() { ::Shell_NotifyIconW(NIM_DELETE, &record_); }

}  // namespace kestrune::app
