#include "service/endpoints/audio_restart_win32.h"

#include <string>

#include "common/handles_win32.h"
#include "common/names.h"

namespace kestrune::service {

namespace {

constexpr int kDependentsListCalls = 8;
constexpr DWORD kManagerAccess = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE;
constexpr DWORD kServiceAccess =
    SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS | SERVICE_START | SERVICE_STOP;

class SystemServiceControl final : public ServiceControl {
 public:
  SC_HANDLE openManager(DWORD access) override {
    return ::OpenSCManagerW(nullptr, nullptr, access);
  }
  SC_HANDLE openService(SC_HANDLE manager, const wchar_t* name, DWORD access) override {
    return ::OpenServiceW(manager, name, access);
  }
  void closeHandle(SC_HANDLE handle) override { ::CloseServiceHandle(handle); }

  bool enumDependents(SC_HANDLE service, std::vector<std::wstring>& names) override {
    return ListDependents(
        [service](ENUM_SERVICE_STATUSW* entries, DWORD bytes, DWORD* needed, DWORD* count) {
          return ::EnumDependentServicesW(service, SERVICE_ACTIVE, entries, bytes, needed, count);
        },
        names);
  }

  bool control(SC_HANDLE service, DWORD code) override {
    SERVICE_STATUS status{};
    return ::ControlService(service, code, &status) != FALSE;
  }

  bool queryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) override {
    DWORD needed = 0;
    return ::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                  sizeof(status), &needed) != FALSE;
  }

  bool start(SC_HANDLE service) override { return ::StartServiceW(service, 0, nullptr) != FALSE; }

  bool enumServiceProcesses(SC_HANDLE manager,
                            std::vector<std::pair<std::wstring, DWORD>>& services) override {
    DWORD needed = 0;
    DWORD count = 0;
    DWORD resume = 0;
    ::EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, nullptr,
                            0, &needed, &count, &resume, nullptr);
    // The list can grow between the two calls; the slack absorbs that.
    const DWORD size = needed + kServiceEnumSlackBytes;
    std::vector<BYTE> buffer(size, 0);
    resume = 0;
    if (!::EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE,
                                 buffer.data(), size, &needed, &count, &resume, nullptr)) {
      return false;
    }
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      services.emplace_back(entries[i].lpServiceName, entries[i].ServiceStatusProcess.dwProcessId);
    return true;
  }

  bool terminateProcess(DWORD processId, UINT exitCode, DWORD waitMs) override {
    UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId));
    if (!process) return false;
    ::TerminateProcess(process.get(), exitCode);
    ::WaitForSingleObject(process.get(), waitMs);
    return true;
  }

  void sleep(DWORD ms) override { ::Sleep(ms); }
};

// Owns a handle obtained through a ServiceControl and closes it there.
class ScHandle {
 public:
  ScHandle(ServiceControl& sc, SC_HANDLE h) : sc_(&sc), h_(h) {}
  ~ScHandle() {
    if (h_) sc_->closeHandle(h_);
  }
  ScHandle(ScHandle&& o) noexcept : sc_(o.sc_), h_(std::exchange(o.h_, nullptr)) {}
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  ScHandle& operator=(ScHandle&&) = delete;
  SC_HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  ServiceControl* sc_;
  SC_HANDLE h_;
};

DWORD currentState(ServiceControl& sc, SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status{};
  return sc.queryStatus(service, status) ? status.dwCurrentState : 0;
}

bool isAudioServiceName(const std::wstring& name) {
  return ::CompareStringOrdinal(name.c_str(), -1, kAudioServiceName, -1, TRUE) == CSTR_EQUAL;
}

// Stops "Audiosrv"; a service that is not running at all counts as stopped,
// so a crashed audio service is started again rather than reported stuck.
bool stopAudioService(ServiceControl& sc, SC_HANDLE manager, SC_HANDLE audio) {
  if (sc.control(audio, SERVICE_CONTROL_STOP)) {
    if (WaitForServiceState(sc, audio, SERVICE_STOPPED)) return true;
  } else if (currentState(sc, audio) == SERVICE_STOPPED) {
    return true;
  }
  return KillStuckAudioService(sc, manager, audio);
}

}  // namespace

ServiceControl& systemServiceControl() {
  static SystemServiceControl instance;
  return instance;
}

bool ListDependents(const EnumDependentsCall& enumerate, std::vector<std::wstring>& names) {
  std::vector<BYTE> buffer;
  for (int call = 0; call < kDependentsListCalls; ++call) {
    auto* entries =
        buffer.empty() ? nullptr : reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data());
    DWORD needed = 0;
    DWORD count = 0;
    if (enumerate(entries, static_cast<DWORD>(buffer.size()), &needed, &count)) {
      for (DWORD i = 0; entries && i < count; ++i) names.emplace_back(entries[i].lpServiceName);
      return true;
    }
    if (::GetLastError() != ERROR_MORE_DATA) return false;
    buffer.assign(needed, 0);
  }
  return false;
}

bool WaitForServiceState(ServiceControl& sc, SC_HANDLE service, DWORD state) {
  DWORD current = 0;
  for (int poll = 0; poll < kServiceStateWaitPolls; ++poll) {
    SERVICE_STATUS_PROCESS status{};
    if (!sc.queryStatus(service, status)) break;
    current = status.dwCurrentState;
    if (current == state) break;
    sc.sleep(kServicePollIntervalMs);
  }
  return current == state;
}

bool KillStuckAudioService(ServiceControl& sc, SC_HANDLE manager, SC_HANDLE audio) {
  SERVICE_STATUS_PROCESS status{};
  if (!sc.queryStatus(audio, status) || status.dwCurrentState != SERVICE_STOP_PENDING ||
      status.dwProcessId == 0) {
    return false;
  }
  std::vector<std::pair<std::wstring, DWORD>> services;
  if (!sc.enumServiceProcesses(manager, services)) return false;
  for (const auto& [name, processId] : services) {
    if (processId == status.dwProcessId && !isAudioServiceName(name)) return false;
  }
  if (!sc.terminateProcess(status.dwProcessId, 1, kStuckProcessExitWaitMs)) return false;
  return WaitForServiceState(sc, audio, SERVICE_STOPPED);
}

bool StopServiceAndWait(ServiceControl& sc, SC_HANDLE service) {
  sc.control(service, SERVICE_CONTROL_STOP);
  DWORD last = 0;
  for (int sleeps = 0; sleeps < kOwnServiceStopWaitPolls; ++sleeps) {
    SERVICE_STATUS_PROCESS status{};
    if (!sc.queryStatus(service, status)) break;
    last = status.dwCurrentState;
    if (last == SERVICE_STOPPED) return true;
    sc.sleep(kServicePollIntervalMs);
  }
  return last == SERVICE_STOPPED;
}

bool RestartAudioService(ServiceControl& sc, std::string& message) {
  ScHandle manager(sc, sc.openManager(kManagerAccess));
  SC_HANDLE audioRaw =
      manager ? sc.openService(manager.get(), kAudioServiceName, kServiceAccess) : nullptr;
  if (!audioRaw) {
    message = "cannot open Windows Audio service (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  ScHandle audio(sc, audioRaw);

  // Going on without the dependents would stop the audio service under them
  // and fail later for the wrong reason; nothing is stopped yet here.
  std::vector<std::wstring> names;
  if (!sc.enumDependents(audio.get(), names)) {
    message = "cannot list the services depending on Windows Audio (error " +
              std::to_string(::GetLastError()) + ")";
    return false;
  }
  std::vector<ScHandle> dependents;
  for (const std::wstring& name : names) {
    if (SC_HANDLE h = sc.openService(manager.get(), name.c_str(), kServiceAccess))
      dependents.emplace_back(sc, h);
  }

  bool ok = true;
  for (const ScHandle& dependent : dependents) {
    sc.control(dependent.get(), SERVICE_CONTROL_STOP);
    ok = WaitForServiceState(sc, dependent.get(), SERVICE_STOPPED) && ok;
  }
  if (!ok) {
    message = "a service depending on Windows Audio did not stop";
  } else if (!stopAudioService(sc, manager.get(), audio.get())) {
    ok = false;
    message = "Windows Audio got stuck while stopping. Restart your PC to get your sound back.";
  }

  const bool startIssued =
      sc.start(audio.get()) || ::GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
  if (!startIssued || !WaitForServiceState(sc, audio.get(), SERVICE_RUNNING)) {
    if (ok) {
      message = "Windows Audio did not start again (error " + std::to_string(::GetLastError()) +
                "). Restart your PC.";
    }
    ok = false;
  }

  for (auto it = dependents.rbegin(); it != dependents.rend(); ++it) {
    sc.start(it->get());
    for (int poll = 0; poll < kServiceStateWaitPolls; ++poll) {
      SERVICE_STATUS_PROCESS status{};
      if (!sc.queryStatus(it->get(), status) || status.dwCurrentState == SERVICE_RUNNING) break;
      sc.sleep(kServicePollIntervalMs);
    }
  }
  return ok;
}

bool RestartAudioService(std::string& message) {
  return RestartAudioService(systemServiceControl(), message);
}
bool WaitForServiceState(SC_HANDLE service, DWORD state) {
  return WaitForServiceState(systemServiceControl(), service, state);
}
bool KillStuckAudioService(SC_HANDLE manager, SC_HANDLE audio) {
  return KillStuckAudioService(systemServiceControl(), manager, audio);
}
bool StopServiceAndWait(SC_HANDLE service) {
  return StopServiceAndWait(systemServiceControl(), service);
}

}  // namespace kestrune::service
