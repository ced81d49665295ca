#include "service/install/installer_win32.h"

#include <windows.h>
// These need windows.h included before them.
#include <knownfolders.h>

#include <cstdio>
#include <string>

#include "common/handles_win32.h"
#include "common/names.h"
#include "service/endpoints/audio_restart_win32.h"
#include "service/install/install_files_win32.h"
#include "service/install/install_layout.h"
#include "service/install/install_registry_win32.h"
#include "service/install/install_shortcut_win32.h"
#include "service/service_main_verb.h"

namespace kestrune::service {
namespace {

constexpr DWORD kFailureActionCount = 3;
constexpr DWORD kServiceProcessExitWaitMs = 5000;

// Stops the service and waits for its process to end too: a service reports
// STOPPED shortly before its process exits, and until then its executable
// cannot be overwritten (copying it fails with a sharing violation).
void stopServiceAndProcess(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  UniqueHandle process;
  if (::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                             sizeof(status), &needed) &&
      status.dwProcessId != 0) {
    process.reset(::OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));
  }
  StopServiceAndWait(service);
  if (process) ::WaitForSingleObject(process.get(), kServiceProcessExitWaitMs);
}

std::wstring modulePath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

LocalStamp localStamp() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return LocalStamp{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

bool isRunning(SC_HANDLE service) {
  SERVICE_STATUS status{};
  return ::QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
}

void setDescriptionAndFailureActions(SC_HANDLE service) {
  SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kServiceDescription)};
  ::ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
  SC_ACTION actions[kFailureActionCount];
  for (SC_ACTION& a : actions) a = SC_ACTION{SC_ACTION_RESTART, kFailureRestartDelayMs};
  // Empty, not null: null would keep a reboot message or command that an
  // older installation (or anyone else) left there.
  wchar_t none[] = L"";
  SERVICE_FAILURE_ACTIONSW failure{};
  failure.dwResetPeriod = kFailureResetSeconds;
  failure.lpRebootMsg = none;
  failure.lpCommand = none;
  failure.cActions = kFailureActionCount;
  failure.lpsaActions = actions;
  ::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
}

// The effect module to install: the shipped one beside the program. Run
// from the install folder (a repair from the installed app), which keeps
// only time-stamped copies, the newest of those takes its place.
std::wstring effectDllSource(const std::wstring& sourceFolder, const std::wstring& installFolder) {
  const std::wstring shipped = sourceFolder + L"\\" + kEffectDllName;
  if (fileExists(shipped) || !equalsIgnoringAsciiCase(sourceFolder, installFolder)) return shipped;
  const std::wstring newest = newestDllCopyName(fileNamesMatching(installFolder, kDllCopyPattern));
  return newest.empty() ? shipped : installFolder + L"\\" + newest;
}

// The COM class and the audio processing object registration, stopping at
// the first failure (so the server path moves only once the class took).
LSTATUS registerEffect(const std::wstring& dllCopy) {
  LSTATUS status = writeRegistryEntries(HKEY_LOCAL_MACHINE, kComClassKeyPath, comClassEntries());
  if (status == ERROR_SUCCESS) {
    status = writeRegistryEntries(HKEY_LOCAL_MACHINE,
                                  std::wstring(kComClassKeyPath) + L"\\InprocServer32",
                                  comServerEntries(dllCopy));
  }
  if (status == ERROR_SUCCESS)
    status = writeRegistryEntries(HKEY_LOCAL_MACHINE, kApoKeyPath, apoEntries());
  return status;
}

// Repoints an existing service or creates it; null (with the last error) when
// creation fails.
UniqueScHandle ensureService(SC_HANDLE manager, UniqueScHandle existing,
                             const std::wstring& binaryPath) {
  if (existing) {
    ::ChangeServiceConfigW(existing.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                           binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                           kServiceDisplayName);
    return existing;
  }
  return UniqueScHandle(
      ::CreateServiceW(manager, kServiceName, kServiceDisplayName, SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                       binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
}

void copyCompanionPrograms(const std::wstring& sourceFolder, const std::wstring& installFolder) {
  for (const wchar_t* name :
       {kAppExeName, kCtlExeName, L"WebView2Loader.dll", L"WebView2Loader.LICENSE.txt"}) {
    const std::wstring source = sourceFolder + L"\\" + name;
    const std::wstring target = installFolder + L"\\" + name;
    if (fileExists(source) && !equalsIgnoringAsciiCase(source, target)) {
      CopyFileReplacing(source, target);
    }
  }
}

}  // namespace

int InstallProduct() {
  const std::wstring self = modulePath();
  const std::wstring sourceFolder = folderOf(self);
  const std::wstring installFolder = knownFolderPath(FOLDERID_ProgramFiles) + kInstallSubfolder;
  const std::wstring installedExe = installFolder + L"\\" + kServiceExeName;

  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    std::printf("needs administrator rights\n");
    return 1;
  }
  UniqueScHandle existing(::OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
  const bool wasRunning = existing && isRunning(existing.get());
  if (existing) stopServiceAndProcess(existing.get());
  // A failed install or repair leaves a service that was running running.
  const auto fail = [&] {
    if (wasRunning) ::StartServiceW(existing.get(), 0, nullptr);
    return 1;
  };

  ::CreateDirectoryW(installFolder.c_str(), nullptr);
  // Never overwritten in place: a copy failing half way would leave nothing
  // to run the service with.
  if (!equalsIgnoringAsciiCase(self, installedExe) && !CopyFileWhole(self, installedExe)) {
    std::printf("copy exe failed %lu\n", ::GetLastError());
    return fail();
  }

  // The new copy exists before any older one goes, so the registration
  // never names a missing file.
  const std::wstring dllCopy = effectDllCopyPath(installFolder, localStamp());
  const std::wstring dllSource = effectDllSource(sourceFolder, installFolder);
  if (!equalsIgnoringAsciiCase(dllSource, dllCopy) &&
      !::CopyFileW(dllSource.c_str(), dllCopy.c_str(), FALSE)) {
    std::printf("copy dll failed %lu\n", ::GetLastError());
    return fail();
  }

  CloseRunningApps();
  copyCompanionPrograms(sourceFolder, installFolder);
  if (!equalsIgnoringAsciiCase(sourceFolder, installFolder))
    copyUiFolder(sourceFolder, installFolder);
  deleteFileOrAtReboot(installFolder + L"\\" + kFormerTrayExeName);
  repointRunValue(installFolder);

  // Without its registration the effect can never load. The older copies
  // stay then: the registration may still name one of them.
  const LSTATUS registered = registerEffect(dllCopy);
  if (registered != ERROR_SUCCESS) {
    std::printf("register effect failed %ld\n", static_cast<long>(registered));
    return fail();
  }
  deleteMatchingFiles(installFolder, kDllCopyPattern, fileNameOf(dllCopy));
  seedSettings();
  createLogFile(knownFolderPath(FOLDERID_ProgramData) + kInstallSubfolder);

  const std::wstring binaryPath = L"\"" + installedExe + L"\"";
  UniqueScHandle service = ensureService(manager.get(), std::move(existing), binaryPath);
  if (!service) {
    std::printf("CreateService failed %lu\n", ::GetLastError());
    return 1;
  }
  setDescriptionAndFailureActions(service.get());
  const bool running = ::StartServiceW(service.get(), 0, nullptr) ||
                       ::GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
  std::printf("installed %ls\nAPO: %ls\nservice %s\n", installedExe.c_str(), dllCopy.c_str(),
              running ? "running" : "NOT started");
  service.reset();
  manager.reset();

  const std::wstring appPath = installFolder + L"\\" + kAppExeName;
  if (fileExists(appPath)) {
    const std::wstring shortcuts = knownFolderPath(FOLDERID_CommonPrograms);
    if (createShortcut(shortcuts + kShortcutName, appPath, installFolder, kShortcutDescription)) {
      ::DeleteFileW((shortcuts + kFormerShortcutName).c_str());
    }
  }
  writeRegistryEntries(HKEY_LOCAL_MACHINE, kUninstallKeyPath,
                       uninstallEntries(installFolder, installedExe));
  return running ? 0 : 1;
}

}  // namespace kestrune::service
