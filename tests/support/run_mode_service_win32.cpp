#include "tests/support/run_mode_service_win32.h"

#include <string>

#include "tests/support/child_process_win32.h"

namespace kestrune::test {

RunModeService::RunModeService() {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring line = quotedBinPath(L"kestrune_service.exe") + L" run";
  if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                       nullptr, &si, &pi)) {
    process_.reset(pi.hProcess);
    ::CloseHandle(pi.hThread);
    id_ = pi.dwProcessId;
  }
}

RunModeService::~RunModeService() {
  if (process_ && ::WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

bool RunModeService::sendCtrlC() const {
  const ChildResult r =
      runChild(quotedBinPath(L"send_console_ctrl_c.exe") + L" " + std::to_wstring(id_));
  return r.started && r.exitCode == 0;
}

DWORD RunModeService::waitForExit(DWORD timeoutMs) const {
  DWORD code = STILL_ACTIVE;
  if (::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(process_.get(), &code);
  }
  return code;
}

}  // namespace kestrune::test
