#include "service/service_main_win32.h"

#include <windows.h>

#include "common/names.h"
#include "service/install/installer_win32.h"
#include "service/install/uninstaller_win32.h"
#include "service/service_body_win32.h"
#include "service/service_main_verb.h"
#include "service/service_state_win32.h"

namespace kestrune::service {
namespace {

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

void reportStatus(DWORD state, DWORD controlsAccepted, DWORD waitHintMs) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = controlsAccepted;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwServiceSpecificExitCode = 0;
  status.dwCheckPoint = 0;
  status.dwWaitHint = waitHintMs;
  ::SetServiceStatus(g_statusHandle, &status);
}

// [dispatcher thread] Only reports and signals; never waits.
DWORD WINAPI controlHandler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    reportStatus(SERVICE_STOP_PENDING, 0, kStopWaitHintMs);
    ::SetEvent(serviceState().stopEvent);
  }
  return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
  g_statusHandle = ::RegisterServiceCtrlHandlerExW(kServiceName, controlHandler, nullptr);
  if (!g_statusHandle) return;
  // Running at once: the start-up recovery may restart the audio service,
  // which must not be held up behind a start-pending state of ours.
  reportStatus(SERVICE_RUNNING, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN, 0);
  runServiceBody();
  reportStatus(SERVICE_STOPPED, 0, 0);
}

BOOL WINAPI consoleHandler(DWORD) {
  ::SetEvent(serviceState().stopEvent);
  return TRUE;
}

int runServiceMode() {
  wchar_t name[] = L"KestruneService";
  SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}

}  // namespace

int runServiceProgram(const std::vector<std::wstring>& args, ElevationPort& elevation) {
  serviceState();  // the stop event exists before anything can signal it
  switch (startVerbFor(args)) {
    case StartVerb::Install:
      return runElevated(args, elevation, [] { return InstallProduct(); });
    case StartVerb::Uninstall:
      return runElevated(args, elevation, [] { return UninstallProduct(); });
    case StartVerb::Run:
      ::SetConsoleCtrlHandler(consoleHandler, TRUE);
      runServiceBody();
      return 0;
    case StartVerb::ServiceMode:
      break;
  }
  return runServiceMode();
}

}  // namespace kestrune::service
