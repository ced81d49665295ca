// `kestrune_service run` in a console of its own, as a user starts it, and
// ended by Ctrl+C on that console. Killed if it still runs at the end.
#pragma once

#include <windows.h>

#include "common/handles_win32.h"

namespace kestrune::test {

class RunModeService {
 public:
  RunModeService();
  ~RunModeService();
  RunModeService(const RunModeService&) = delete;
  RunModeService& operator=(const RunModeService&) = delete;

  bool started() const { return static_cast<bool>(process_); }
  HANDLE process() const { return process_.get(); }
  // Ctrl+C on the service's own console (through send_console_ctrl_c.exe);
  // false when it could not be sent.
  bool sendCtrlC() const;
  // The exit code, or 259 (still active) when it did not end in time.
  DWORD waitForExit(DWORD timeoutMs) const;

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
};

}  // namespace kestrune::test
