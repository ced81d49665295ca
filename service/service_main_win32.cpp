#include "service/service_main_win32.h"

#include <windows.h>

#include <cstdio>

#include "common/names.h"
#include "service/install/installer_win32.h"
#include "service/install/uninstaller_win32.h"
#include "service/service_body_win32.h"
#include "service/service_main_verb.h"
#include "service/service_state_win32.h"

namespace kestrune::service {
namespace {

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

void reportStatus(DWORD state, DWORD controlsAccepted, DWORD waitHintMs,
                  DWORD exitCode = NO_ERROR) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = controlsAccepted;
  status.dwWin32ExitCode = exitCode;
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
  StartFailure failure;
  // A start that failed ends with its error code, which the service manager
  // records.
  const bool ran = runServiceBody(failure);
  reportStatus(SERVICE_STOPPED, 0, 0, ran ? NO_ERROR : failure.error);
}

// Set once a foreground run has returned from the service body; never closed,
// as a console handler may still be waiting on it while the process ends.
HANDLE foregroundEnded() {
  static const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
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
      return runForeground();
    case StartVerb::ServiceMode:
      break;
  }
  return runServiceMode();
}

int runForeground() {
  ::ResetEvent(foregroundEnded());
  ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
  StartFailure failure;
  const bool ran = runServiceBody(failure);
  ::SetEvent(foregroundEnded());
  if (ran) return 0;
  std::printf("not started: %s\n", failure.message.c_str());
  return 1;
}

BOOL WINAPI onConsoleControl(DWORD event) {
  ::SetEvent(serviceState().stopEvent);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    ::WaitForSingleObject(foregroundEnded(), kStopWaitHintMs);
  }
  return TRUE;
}

}  // namespace kestrune::service
