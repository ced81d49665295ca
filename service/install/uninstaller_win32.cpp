#include "service/install/uninstaller_win32.h"

#include <windows.h>
// These need windows.h included before them.
#include <knownfolders.h>

#include <cstdio>
#include <string>

#include "common/handles_win32.h"
#include "common/names.h"
#include "common/pipe_call_win32.h"
#include "service/dispatcher.h"
#include "service/endpoints/audio_restart_win32.h"
#include "service/endpoints/effect_attach_win32.h"
#include "service/install/install_files_win32.h"
#include "service/install/install_layout.h"
#include "service/install/install_registry_win32.h"

namespace kestrune::service {
namespace {

// How long a running service may take to answer (it may still be busy with
// its start-up recovery); the restore itself is not limited.
constexpr std::uint64_t kServiceReachTimeoutMs = 30000;

enum class ServiceRestore { Done, Failed, NotReached };

bool isRunning(SC_HANDLE service) {
  SERVICE_STATUS status{};
  return ::QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
}

// The running service restores as itself, with its own account's rights on
// the endpoint's keys, which an administrator's console may lack.
ServiceRestore restoreThroughService(std::string& message) {
  const PipeCallResult r = callPipe("uninstall", kPipeNameA, kServiceReachTimeoutMs);
  if (!r.ok) return ServiceRestore::NotReached;
  if (r.reply == kReplyOk) return ServiceRestore::Done;
  message = r.reply;
  if (message.rfind("error ", 0) == 0) message.erase(0, 6);
  while (!message.empty() && message.back() == '\n') message.pop_back();
  return ServiceRestore::Failed;
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
  if (wasRunning && restoreThroughService(message) == ServiceRestore::Failed) {
    return restoreFailed(message);
  }
  if (service) StopServiceAndWait(service.get());
  // Whatever the service did not put back (it was not running or not
  // reachable) is put back here; with no journal left this does nothing.
  if (!RestoreEndpoint(true, message)) {
    if (wasRunning) ::StartServiceW(service.get(), 0, nullptr);
    return restoreFailed(message);
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

  std::printf("uninstalled (endpoint restored, service and files removed)\n");
  return 0;
}

}  // namespace kestrune::service
