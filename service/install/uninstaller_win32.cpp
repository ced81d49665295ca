#include "service/install/uninstaller_win32.h"

#include <windows.h>
// These need windows.h included before them.
#include <knownfolders.h>

#include <cstdio>
#include <string>

#include "common/handles_win32.h"
#include "common/names.h"
#include "common/pipe_call_win32.h"
#include "service/endpoints/audio_restart_win32.h"
#include "service/endpoints/effect_attach_win32.h"
#include "service/install/install_files_win32.h"
#include "service/install/install_layout.h"
#include "service/install/install_registry_win32.h"
#include "service/install/restore_reply.h"

namespace kestrune::service {
namespace {

// How long a running service may take to answer (it may still be busy with
// its start-up recovery); the restore itself is not limited.
constexpr std::uint64_t kServiceReachTimeoutMs = 30000;

bool isRunning(SC_HANDLE service) {
  SERVICE_STATUS status{};
  return ::QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
}

// Brings the service to RUNNING, starting it when it is stopped; false when
// it does not get there within the state wait.
bool runService(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!::QueryServiceStatus(service, &status)) return false;
  if (status.dwCurrentState == SERVICE_RUNNING) return true;
  // One on its way down cannot be started before it has stopped.
  if (status.dwCurrentState == SERVICE_STOP_PENDING) return false;
  if (status.dwCurrentState == SERVICE_STOPPED && !::StartServiceW(service, 0, nullptr) &&
      ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    return false;
  }
  return WaitForServiceState(service, SERVICE_RUNNING);
}

// The service restores as itself, with its own account's rights on the
// endpoint's keys, which an administrator's console may lack. Started, it
// first finishes an interrupted change (its start-up recovery).
ServiceRestore restoreThroughService(SC_HANDLE service, std::string& message) {
  if (!runService(service)) return ServiceRestore::NotReached;
  const PipeCallResult r = callPipe("uninstall", kPipeNameA, kServiceReachTimeoutMs);
  return r.ok ? readRestoreReply(r.reply, message) : ServiceRestore::NotReached;
}

// Only a journal that does not exist is gone; a restore deletes it just
// before the audio restart, so a failure without it was the restart's.
bool journalLeft() {
  UniqueHKey journal;
  return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kJournalKeyPath, 0, KEY_QUERY_VALUE, journal.put()) !=
         ERROR_FILE_NOT_FOUND;
}

int restoreFailed(const std::string& message) {
  std::printf("endpoint restore failed: %s (settings kept, run uninstall again)\n",
              message.c_str());
  return 1;
}

}  // namespace

int UninstallProduct() {
  CloseRunningApps();
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    std::printf("needs administrator rights\n");
    return 1;
  }
  // The service goes only once the endpoint is back: it is what finishes an
  // interrupted restore at its next start.
  UniqueScHandle service(::OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
  const bool wasRunning = service && isRunning(service.get());
  std::string message;
  const ServiceRestore through =
      service ? restoreThroughService(service.get(), message) : ServiceRestore::NotReached;
  if (through == ServiceRestore::Failed && journalLeft()) return restoreFailed(message);
  // Still running, it could be restoring (or restarting the audio service)
  // beside the restore below, or hold files that are about to go.
  if (service && !StopServiceAndWait(service.get())) {
    std::printf("service did not stop; nothing removed, run uninstall again\n");
    return 1;
  }
  // What the service did not put back (it could not be reached) is put back
  // here; with no journal left this does nothing.
  std::string audioFailure = through == ServiceRestore::Failed ? message : "";
  if (through == ServiceRestore::NotReached && !RestoreEndpoint(true, message)) {
    if (journalLeft()) {
      if (wasRunning) ::StartServiceW(service.get(), 0, nullptr);
      return restoreFailed(message);
    }
    audioFailure = message;
  }
  if (service) ::DeleteService(service.get());
  service.reset();
  manager.reset();

  deleteRegistryTree(HKEY_LOCAL_MACHINE, kApoKeyPath);
  deleteRegistryTree(HKEY_LOCAL_MACHINE, kComClassKeyPath);
  deleteRegistryTree(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName);
  deleteRegistryTree(HKEY_CURRENT_USER, kUserKeyPath);
  deleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKeyPath);

  const std::wstring shortcuts = knownFolderPath(FOLDERID_CommonPrograms);
  ::DeleteFileW((shortcuts + kFormerShortcutName).c_str());
  ::DeleteFileW((shortcuts + kShortcutName).c_str());
  DeleteTree(knownFolderPath(FOLDERID_ProgramFiles) + kInstallSubfolder);

  // The endpoint is back either way; the audio service may need the user.
  if (!audioFailure.empty())
    std::printf("endpoint restored, but restarting Windows Audio failed: %s\n",
                audioFailure.c_str());
  std::printf("uninstalled (endpoint restored, service and files removed)\n");
  return audioFailure.empty() ? 0 : 1;
}

}  // namespace kestrune::service
