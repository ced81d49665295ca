// A child process whose standard output and error go to a file rather than a
// pipe, so it may run in the background while the test goes on. A file also
// copes with the installer: its shell-link work can leave a Wine desktop
// process behind that inherits the output handle, and a pipe would then
// never report its end.
#pragma once

#include <windows.h>

#include <string>

#include "common/handles_win32.h"
#include "tests/support/child_process_win32.h"

namespace kestrune::test {

class BackgroundChild {
 public:
  BackgroundChild() = default;
  ~BackgroundChild();  // kills a child that still runs
  BackgroundChild(const BackgroundChild&) = delete;
  BackgroundChild& operator=(const BackgroundChild&) = delete;

  // Starts `commandLine` (program path quoted as needed); false when it
  // cannot be started.
  bool start(const std::wstring& commandLine);
  bool running() const;
  // What the child has written so far.
  std::string output() const;
  // Waits up to `timeoutMs` (the child is killed past it) and returns its
  // exit code and output; standard error is part of `out`.
  ChildResult finish(DWORD timeoutMs);

 private:
  UniqueHandle process_;
  std::wstring outputPath_;
};

// runChild with the output going through a file.
ChildResult runChildToFile(const std::wstring& commandLine, DWORD timeoutMs = 120000);

}  // namespace kestrune::test
