// Restarting the Windows audio service "Audiosrv" with its dependents, and
// stopping one service with a wait. Everything goes through ServiceControl,
// a thin seam over the service-control calls, so paths the test machine
// cannot produce (dependents) are tested with a fake.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace kestrune::service {

inline constexpr DWORD kServicePollIntervalMs = 100;
inline constexpr int kServiceStateWaitPolls = 150;
inline constexpr DWORD kStuckProcessExitWaitMs = 5000;
inline constexpr int kOwnServiceStopWaitPolls = 200;
inline constexpr DWORD kServiceEnumSlackBytes = 4096;

// The service-control calls the restart uses. Each returns what the Win32
// call returns and leaves the thread's last error set on failure.
class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  virtual SC_HANDLE openManager(DWORD access) = 0;
  virtual SC_HANDLE openService(SC_HANDLE manager, const wchar_t* name, DWORD access) = 0;
  virtual void closeHandle(SC_HANDLE handle) = 0;
  // Names of the active dependents in the order the system reports them.
  virtual bool enumDependents(SC_HANDLE service, std::vector<std::wstring>& names) = 0;
  virtual bool control(SC_HANDLE service, DWORD control) = 0;
  virtual bool queryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) = 0;
  virtual bool start(SC_HANDLE service) = 0;
  // Active Win32 services with their process ids.
  virtual bool enumServiceProcesses(SC_HANDLE manager,
                                    std::vector<std::pair<std::wstring, DWORD>>& services) = 0;
  // Terminates the process with `exitCode` and waits up to `waitMs` for it.
  virtual bool terminateProcess(DWORD processId, UINT exitCode, DWORD waitMs) = 0;
  virtual void sleep(DWORD ms) = 0;
};

// The real calls.
ServiceControl& systemServiceControl();

// EnumDependentServicesW for the active dependents of one service.
using EnumDependentsCall =
    std::function<BOOL(ENUM_SERVICE_STATUSW* entries, DWORD bytes, DWORD* needed, DWORD* count)>;
// Lists the names `enumerate` gives, asking again with a larger buffer while
// the list grows between the size query and the data call (a dependent just
// started), at most 8 calls in all.
bool ListDependents(const EnumDependentsCall& enumerate, std::vector<std::wstring>& names);

// Stops the dependents, then "Audiosrv" (killing a stuck process of its own),
// starts it again and restarts the dependents in reverse order. On false
// `message` says why; when the dependents cannot be listed nothing is
// stopped. Called with the service lock held; can take tens of seconds. An
// audio service already stopped counts as stopped.
bool RestartAudioService(std::string& message);
bool RestartAudioService(ServiceControl& sc, std::string& message);

// Polls every 100 ms, at most 150 times, until the query fails or the state
// equals `state`; true when the last state read equals it.
bool WaitForServiceState(SC_HANDLE service, DWORD state);
bool WaitForServiceState(ServiceControl& sc, SC_HANDLE service, DWORD state);

// Terminates the process of a stop-pending "Audiosrv" with exit code 1 when
// no other service shares it; true when the service then reaches STOPPED.
bool KillStuckAudioService(SC_HANDLE manager, SC_HANDLE audio);
bool KillStuckAudioService(ServiceControl& sc, SC_HANDLE manager, SC_HANDLE audio);

// Sends STOP and waits up to about 20 s for STOPPED.
bool StopServiceAndWait(SC_HANDLE service);
bool StopServiceAndWait(ServiceControl& sc, SC_HANDLE service);

}  // namespace kestrune::service
