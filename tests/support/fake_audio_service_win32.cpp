#include "tests/support/fake_audio_service_win32.h"

#include "common/names.h"
#include "tests/support/child_process_win32.h"

namespace kestrune::test {
namespace {

constexpr int kStatePolls = 200;
constexpr DWORD kPollMs = 100;

bool waitForState(SC_HANDLE service, DWORD state) {
  for (int i = 0; i < kStatePolls; ++i) {
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service, &status)) return false;
    if (status.dwCurrentState == state) return true;
    ::Sleep(kPollMs);
  }
  return false;
}

void stopAndDelete(SC_HANDLE service) {
  SERVICE_STATUS status{};
  ::ControlService(service, SERVICE_CONTROL_STOP, &status);
  waitForState(service, SERVICE_STOPPED);
  ::DeleteService(service);
}

}  // namespace

ScopedFakeAudioService::ScopedFakeAudioService() {
  config_.erase();
  manager_.reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager_) return;
  UniqueScHandle old(::OpenServiceW(manager_.get(), kAudioServiceName, SERVICE_ALL_ACCESS));
  // Closed before the name is taken again: the deletion waits for every handle.
  if (old) stopAndDelete(old.get());
  old.reset();
  const std::wstring binary = quotedBinPath(L"fake_audiosrv.exe");
  // A service deleted a moment ago can still be on its way out (Wine reports
  // 1072, marked for delete, or 1073, exists) for a little while.
  for (int i = 0; i < kStatePolls && !service_; ++i) {
    service_.reset(::CreateServiceW(manager_.get(), kAudioServiceName, L"Test audio stand-in",
                                    SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                    SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binary.c_str(),
                                    nullptr, nullptr, nullptr, nullptr, nullptr));
    const DWORD error = ::GetLastError();
    if (service_ || (error != ERROR_SERVICE_MARKED_FOR_DELETE && error != ERROR_SERVICE_EXISTS))
      break;
    ::Sleep(kPollMs);
  }
}

ScopedFakeAudioService::~ScopedFakeAudioService() {
  if (!service_) return;
  setString(HKEY_LOCAL_MACHINE, kConfigKey, L"Mode", L"normal");
  stopAndDelete(service_.get());
}

bool ScopedFakeAudioService::startAndWait() {
  return ::StartServiceW(service_.get(), 0, nullptr) &&
         waitForState(service_.get(), SERVICE_RUNNING);
}

DWORD ScopedFakeAudioService::processId() const {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  ::QueryServiceStatusEx(service_.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                         sizeof(status), &needed);
  return status.dwProcessId;
}

DWORD ScopedFakeAudioService::starts() const {
  DWORD n = 0;
  DWORD size = sizeof(n);
  ::RegGetValueW(HKEY_LOCAL_MACHINE, kConfigKey, L"Starts", RRF_RT_REG_DWORD, nullptr, &n, &size);
  return n;
}

}  // namespace kestrune::test
