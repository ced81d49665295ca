// kestrune_app in a scratch folder of its own, as the product folder has it
// (the test tree's fake WebView2Loader.dll beside it, a page folder "ui"),
// started and ended by the test. Only one app runs at a time: it is a
// single-instance program.
#pragma once

#include <windows.h>

#include <string>

#include "common/handles_win32.h"

namespace kestrune::test {

class AppFolder {
 public:
  // Copies kestrune_app.exe, and the fake loader unless `withLoader` is
  // false, from binDir() into a fresh folder, with test_page\ as ui\.
  explicit AppFolder(bool withLoader = true);
  ~AppFolder();  // ends a running app, then deletes the folder
  AppFolder(const AppFolder&) = delete;
  AppFolder& operator=(const AppFolder&) = delete;

  const std::wstring& path() const { return dir_; }
  // Copies binDir() + program into the folder as `name` (or deletes `name`
  // when `program` is empty).
  bool put(const std::wstring& program, const std::wstring& name) const;

  // Starts kestrune_app.exe with `arguments`.
  bool start(const std::wstring& arguments = L"");
  // Starts another kestrune_app.exe of this folder and returns its exit
  // code, or STILL_ACTIVE if it has not ended within `timeoutMs`.
  DWORD runAnother(const std::wstring& arguments, DWORD timeoutMs = 20000) const;
  // The app's main window (class "KestruneApp") once it exists; null after
  // `timeoutMs`.
  HWND waitForWindow(DWORD timeoutMs = 15000) const;
  // True with the exit code once the app has ended within `timeoutMs`.
  bool waitForExit(DWORD timeoutMs, DWORD& exitCode) const;
  DWORD processId() const { return processId_; }
  // Terminates the app if it still runs.
  void end();

 private:
  std::wstring dir_;
  UniqueHandle process_;
  DWORD processId_ = 0;
};

// Waits until `done` returns true, polling every 20 ms; false after `timeoutMs`.
template <typename F>
bool eventually(F done, DWORD timeoutMs = 10000) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(20);
  }
  return true;
}

}  // namespace kestrune::test
