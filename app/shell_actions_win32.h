// What the app asks of the Windows shell: the default browser and the
// elevated repair.
#pragma once

#include <windows.h>

#include <string>

namespace kestrune::app {

// Opens `address` with the verb "open" (the default browser or mail
// program). Any thread.
void openWithShell(const std::wstring& address);

// Starts "kestrune_service.exe install" from `exeFolder` elevated ("runas",
// hidden, owned by `owner`) and waits for it to end, at most 60 s. False
// when it could not be started (the user declined, the file is missing).
// Worker threads only: it blocks.
bool runRepair(HWND owner, const std::wstring& exeFolder);

// COM for shell calls on a worker thread, for as long as the object lives.
class ShellThreadScope {
 public:
  ShellThreadScope();
  ~ShellThreadScope();
  ShellThreadScope(const ShellThreadScope&) = delete;
  ShellThreadScope& operator=(const ShellThreadScope&) = delete;

 private:
  bool initialised_;
};

}  // namespace kestrune::app
