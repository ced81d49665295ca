#include "service/install/uninstaller_win32.h"

#include <windows.h>
// These need windows.h included before them.
#include <knownfolders.h>

#include <cstdio>
#include <string>

#include "common/handles_win32.h"
#include "common/names.h"
#include "service/endpoints/audio_restart_win32.h"
#include "service/endpoints/effect_attach_win32.h"
#include "service/install/install_files_win32.h"
#include "service/install/install_layout.h"
#include "service/install/install_registry_win32.h"

namespace kestrune::service {

int UninstallProduct() {
  CloseRunningApps();
  {
    UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
      std::printf("needs administrator rights\n");
      return 1;
    }
    UniqueScHandle service(::OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
    if (service) {
      StopServiceAndWait(service.get());
      ::DeleteService(service.get());
    }
  }

  std::string message;
  if (!RestoreEndpoint(true, message)) {
    std::printf("endpoint restore failed: %s (settings kept, run uninstall again)\n",
                message.c_str());
    return 1;
  }

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
