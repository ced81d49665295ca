#include <gtest/gtest.h>
#include <windows.h>
// These need windows.h included before them.
#include <knownfolders.h>

#include <optional>
#include <regex>
#include <string>

#include "common/handles_win32.h"
#include "common/names.h"
#include "common/utf8_win32.h"
#include "ctl/pipe_call_win32.h"
#include "service/endpoints/endpoint_inventory_win32.h"
#include "service/endpoints/endpoint_plan.h"
#include "service/install/install_files_win32.h"
#include "service/install/install_layout.h"
#include "tests/support/background_child_win32.h"
#include "tests/support/child_process_win32.h"
#include "tests/support/fake_audio_service_win32.h"
#include "tests/support/scoped_registry_win32.h"

namespace kestrune::service {
namespace {

using kestrune::test::KeySnapshot;
using kestrune::test::readValue;
using kestrune::test::RegistryValue;
using kestrune::test::ScopedRegistryKey;

// Unix source paths reach Wine programs through drive Z:.
std::wstring sourcePath(const char* relative) {
  std::wstring path = L"Z:" + utf8ToWide(KESTRUNE_SOURCE_DIR) + L"/" + utf8ToWide(relative);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::wstring installFolder() { return knownFolderPath(FOLDERID_ProgramFiles) + L"\\Kestrune"; }

// The product folder as shipped: the four deliverables and the page folder.
std::wstring stageProductFolder() {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring stage = std::wstring(temp) + L"kestrune_stage";
  DeleteTree(stage);
  ::CreateDirectoryW(stage.c_str(), nullptr);
  for (const wchar_t* name : {kServiceExeName, kEffectDllName, kAppExeName, kCtlExeName}) {
    EXPECT_TRUE(::CopyFileW((kestrune::test::binDir() + name).c_str(),
                            (stage + L"\\" + name).c_str(), FALSE))
        << wideToUtf8(name);
  }
  copyUiFolder(sourcePath("app"), stage);
  return stage;
}

kestrune::test::ChildResult runProgram(const std::wstring& exe, const std::wstring& args) {
  return kestrune::test::runChildToFile(L"\"" + exe + L"\" " + args);
}

DWORD serviceState() {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueScHandle service(::OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS));
  if (!service) return 0;
  SERVICE_STATUS status{};
  if (!::QueryServiceStatus(service.get(), &status)) return 0;
  return status.dwCurrentState;
}

RegistryValue value(HKEY root, const std::wstring& path, const wchar_t* name) {
  RegistryValue v;
  v.type = REG_NONE;
  readValue(root, path, name ? name : L"", v);
  return v;
}

std::vector<BYTE> szBytes(const std::wstring& text) {
  const auto* p = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t));
}
std::vector<BYTE> dwordBytes(DWORD v) {
  return {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
}

void expectEntries(HKEY root, const std::wstring& path, const std::vector<RegistryEntry>& entries) {
  for (const RegistryEntry& e : entries) {
    const RegistryValue v = value(root, path, e.name);
    const std::string name = wideToUtf8(e.name ? e.name : L"(default)");
    EXPECT_EQ(v.type, e.isNumber ? DWORD(REG_DWORD) : DWORD(REG_SZ)) << name;
    EXPECT_EQ(v.bytes, e.isNumber ? dwordBytes(e.number) : szBytes(e.text)) << name;
  }
}

DWORD settingNumber(const wchar_t* name) {
  const RegistryValue v = value(HKEY_LOCAL_MACHINE, kSettingsKeyPath, name);
  if (v.type != REG_DWORD || v.bytes.size() != 4) return 0xDEADu;
  return v.bytes[0] | v.bytes[1] << 8 | v.bytes[2] << 16 | DWORD(v.bytes[3]) << 24;
}

std::vector<std::wstring> dllCopies() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data{};
  HANDLE find = ::FindFirstFileW((installFolder() + kDllCopyPattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.push_back(data.cFileName);
  while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return names;
}

std::wstring commonPrograms() { return knownFolderPath(FOLDERID_CommonPrograms); }

// The file the effect's COM registration names.
std::wstring registeredDll() {
  const RegistryValue v =
      value(HKEY_LOCAL_MACHINE, std::wstring(kComClassKeyPath) + L"\\InprocServer32", nullptr);
  if (v.type != REG_SZ || v.bytes.size() < sizeof(wchar_t)) return {};
  return std::wstring(reinterpret_cast<const wchar_t*>(v.bytes.data()),
                      v.bytes.size() / sizeof(wchar_t) - 1);
}

// Starts or stops the installed service and waits (up to 10 s) for it.
void controlService(bool start) {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueScHandle service(::OpenServiceW(manager.get(), kServiceName,
                                        SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
  SERVICE_STATUS status{};
  if (start) {
    ::StartServiceW(service.get(), 0, nullptr);
  } else {
    ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  }
  const DWORD wanted = start ? SERVICE_RUNNING : SERVICE_STOPPED;
  for (int i = 0; i < 100 && serviceState() != wanted; ++i) ::Sleep(100);
}
void startService() { controlService(true); }
void stopService() { controlService(false); }

// A headset whose effect slot holds another product's effect.
const wchar_t kHeadsetId[] = L"{0.0.0.00000000}.{5c3e7f0a-1b2d-4e6f-8a9b-productheadset}";
const wchar_t kForeignEffect[] = L"{62DC1A93-AE24-464C-A43E-452F824C4250}";

const char kFreshInstallStatus[] =
    "wanted=1\nmode=auto\ngame_running=0\nprocessing=0\nintensity=2\nendpoint=\n"
    "install_phase=0\nfull_fx=0\ndrift=0\ngames=TslGame.exe\ncomparing=0\n";

// Install, repair and uninstall of the whole product into the test prefix,
// in this order; the machine-wide keys are put back afterwards.
class Product : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (auto [root, path] : std::initializer_list<std::pair<HKEY, const wchar_t*>>{
             {HKEY_LOCAL_MACHINE, kSettingsKeyPath},
             {HKEY_LOCAL_MACHINE, kComClassKeyPath},
             {HKEY_LOCAL_MACHINE, kApoKeyPath},
             {HKEY_LOCAL_MACHINE, kUninstallKeyPath},
             {HKEY_CURRENT_USER, kUserKeyPath},
             {HKEY_CURRENT_USER, kRunKeyPath}}) {
      keys_.push_back(new ScopedRegistryKey(root, path));
    }
    keys_[0]->erase();
    headset_ =
        new ScopedRegistryKey(HKEY_LOCAL_MACHINE, kRenderRootPath + std::wstring(kHeadsetId));
    headset_->erase();
    audio_ = new kestrune::test::ScopedFakeAudioService;
    stage_ = new std::wstring(stageProductFolder());
  }
  static void TearDownTestSuite() {
    if (serviceState() != 0) runProgram(*stage_ + L"\\" + kServiceExeName, L"uninstall");
    DeleteTree(*stage_);
    delete stage_;
    delete audio_;
    delete headset_;
    for (ScopedRegistryKey* k : keys_) delete k;
    keys_.clear();
  }
  static std::wstring stagedService() { return *stage_ + L"\\" + kServiceExeName; }
  static std::string ctlStatus() {
    return runProgram(installFolder() + L"\\" + kCtlExeName, L"status").out;
  }

  static std::vector<ScopedRegistryKey*> keys_;
  static ScopedRegistryKey* headset_;
  static kestrune::test::ScopedFakeAudioService* audio_;
  static std::wstring* stage_;
  static KeySnapshot headsetBefore_;
};
std::vector<ScopedRegistryKey*> Product::keys_;
ScopedRegistryKey* Product::headset_ = nullptr;
kestrune::test::ScopedFakeAudioService* Product::audio_ = nullptr;
std::wstring* Product::stage_ = nullptr;
KeySnapshot Product::headsetBefore_;

TEST_F(Product, FreshInstallCopiesRegistersSeedsAndStartsTheService) {
  kestrune::test::setString(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, L"\"C:\\x\\other.exe\"");
  const auto r = runProgram(stagedService(), L"INSTALL");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u) << r.out;
  const std::string folder = wideToUtf8(installFolder());
  const std::regex expected(
      "installed " + std::regex_replace(folder, std::regex(R"([\\.])"), R"(\$&)") +
      R"(\\kestrune_service\.exe\nAPO: .*\\KestruneApo-\d{8}-\d{6}\.dll\nservice running\n)");
  EXPECT_TRUE(std::regex_match(r.out, expected)) << r.out;

  for (const wchar_t* name : {kServiceExeName, kAppExeName, kCtlExeName, L"ui\\index.html"}) {
    EXPECT_TRUE(fileExists(installFolder() + L"\\" + name)) << wideToUtf8(name);
  }
  const std::vector<std::wstring> copies = dllCopies();
  ASSERT_EQ(copies.size(), 1u);
  const std::wstring dllCopy = installFolder() + L"\\" + copies[0];
  EXPECT_NE(r.out.find(wideToUtf8(dllCopy)), std::string::npos);

  expectEntries(HKEY_LOCAL_MACHINE, kComClassKeyPath, comClassEntries());
  expectEntries(HKEY_LOCAL_MACHINE, std::wstring(kComClassKeyPath) + L"\\InprocServer32",
                comServerEntries(dllCopy));
  expectEntries(HKEY_LOCAL_MACHINE, kApoKeyPath, apoEntries());
  EXPECT_EQ(value(HKEY_LOCAL_MACHINE, kApoKeyPath, L"MaxInstances").bytes, dwordBytes(0xFFFFFFFF));
  expectEntries(HKEY_LOCAL_MACHINE, kUninstallKeyPath,
                uninstallEntries(installFolder(), installFolder() + L"\\" + kServiceExeName));

  EXPECT_EQ(settingNumber(kValueWanted), 1u);
  EXPECT_EQ(settingNumber(kValueMode), 1u);
  EXPECT_EQ(settingNumber(kValueIntensity), 2u);
  EXPECT_EQ(settingNumber(kValueEnabled), 0u);
  EXPECT_EQ(settingNumber(kValueMeter), 0u);
  const RegistryValue games = value(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueGames);
  EXPECT_EQ(games.type, DWORD(REG_MULTI_SZ));
  EXPECT_EQ(games.bytes.size(), 26u);
  EXPECT_EQ(value(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName).bytes,
            szBytes(L"\"C:\\x\\other.exe\""))
      << "a Run value without the former tray stays";

  EXPECT_TRUE(fileExists(knownFolderPath(FOLDERID_ProgramData) + L"\\Kestrune\\apo.log"));
  EXPECT_TRUE(fileExists(commonPrograms() + kShortcutName));
  EXPECT_EQ(serviceState(), DWORD(SERVICE_RUNNING));
  EXPECT_EQ(ctlStatus(), kFreshInstallStatus);
}

TEST_F(Product, RepairOverARunningInstallKeepsSettingsButResetsMissingOnes) {
  ASSERT_EQ(serviceState(), DWORD(SERVICE_RUNNING));
  struct Case {
    DWORD intensityBefore;
    DWORD intensityAfter;
  } cases[] = {{3, 3}, {99, 2}};
  for (const Case& c : cases) {
    kestrune::test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueIntensity,
                             c.intensityBefore);
    kestrune::test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueWanted, 0);
    kestrune::test::setString(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName,
                              L"\"C:\\Old\\kestrune_tray.exe\"");
    const auto r = runProgram(stagedService(), L"install");
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_NE(r.out.find("service running\n"), std::string::npos) << r.out;
    EXPECT_EQ(settingNumber(kValueIntensity), c.intensityAfter);
    EXPECT_EQ(settingNumber(kValueWanted), 0u);
    EXPECT_EQ(dllCopies().size(), 1u) << "older copies are cleaned up";
    EXPECT_EQ(value(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName).bytes,
              szBytes(L"\"" + installFolder() + L"\\kestrune_app.exe\" --startup"));
    EXPECT_EQ(serviceState(), DWORD(SERVICE_RUNNING));
  }
  kestrune::test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueWanted, 1);
  EXPECT_EQ(ctlStatus(), kFreshInstallStatus);
}

TEST_F(Product, ServiceStopsWithinItsWaitHintAndSwitchesTheEffectOff) {
  kestrune::test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMode, 0);
  EXPECT_EQ(runProgram(installFolder() + L"\\" + kCtlExeName, L"set wanted 1").out, "ok\n");
  EXPECT_EQ(settingNumber(kValueEnabled), 1u);
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  UniqueScHandle service(
      ::OpenServiceW(manager.get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
  SERVICE_STATUS status{};
  const ULONGLONG start = ::GetTickCount64();
  ASSERT_TRUE(::ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwWaitHint, 5000u);
  while (status.dwCurrentState != SERVICE_STOPPED && ::GetTickCount64() - start < 10000) {
    ::Sleep(50);
    ::QueryServiceStatus(service.get(), &status);
  }
  EXPECT_LT(::GetTickCount64() - start, 5000u);
  EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
  EXPECT_EQ(settingNumber(kValueEnabled), 0u);
  EXPECT_EQ(settingNumber(kValueMeter), 0u);
  kestrune::test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMode, 1);
}

TEST_F(Product, FailedRepairLeavesTheServiceRunningAndTheEffectRegistered) {
  const std::wstring dll = *stage_ + L"\\" + kEffectDllName;
  struct Case {
    const char* why;
    std::string out;
  } cases[] = {{"no effect module", "copy dll failed 2\n"},
               {"registration refused", "register effect failed 5\n"}};
  for (const Case& c : cases) {
    startService();
    ASSERT_EQ(serviceState(), DWORD(SERVICE_RUNNING));
    const std::wstring registered = registeredDll();
    ASSERT_TRUE(fileExists(registered));
    const bool noModule = c.out.rfind("copy", 0) == 0;
    std::optional<kestrune::test::ScopedReadOnlyKey> locked;
    if (noModule) {
      ASSERT_TRUE(::DeleteFileW(dll.c_str()));
    } else {
      locked.emplace(HKEY_LOCAL_MACHINE, kComClassKeyPath);
      ASSERT_TRUE(locked->locked());
    }
    const auto r = runProgram(stagedService(), L"install");
    EXPECT_EQ(r.exitCode, 1u) << c.why;
    EXPECT_EQ(r.out, c.out) << c.why;
    EXPECT_EQ(serviceState(), DWORD(SERVICE_RUNNING)) << c.why;
    EXPECT_EQ(registeredDll(), registered) << c.why;
    EXPECT_TRUE(fileExists(registered)) << c.why << ": the registration names a missing file";
    if (noModule)
      ::CopyFileW((kestrune::test::binDir() + kEffectDllName).c_str(), dll.c_str(), FALSE);
  }
}

TEST_F(Product, RepairFromTheInstallFolderReinstallsTheNewestCopyAndEndsRunningApps) {
  // The repair the installed app starts: only time-stamped copies there.
  const std::wstring installed = installFolder() + L"\\" + kServiceExeName;
  ASSERT_FALSE(fileExists(installFolder() + L"\\" + kEffectDllName));
  ::Sleep(1000);  // a new time stamp
  auto r = runProgram(installed, L"install");
  EXPECT_EQ(r.exitCode, 0u) << r.out;
  const std::vector<std::wstring> copies = dllCopies();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(registeredDll(), installFolder() + L"\\" + copies[0]);
  EXPECT_EQ(serviceState(), DWORD(SERVICE_RUNNING));

  // A running desktop app is ended before its files are replaced. The
  // stand-in is the control client under the app's name: with the service
  // stopped it keeps waiting for the pipe for 30 s and would then exit with 2.
  stopService();
  const std::wstring fakeApp = *stage_ + L"\\fake\\" + kAppExeName;
  ::CreateDirectoryW((*stage_ + L"\\fake").c_str(), nullptr);
  ASSERT_TRUE(
      ::CopyFileW((kestrune::test::binDir() + kCtlExeName).c_str(), fakeApp.c_str(), FALSE));
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring line = L"\"" + fakeApp + L"\" status";
  ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
  UniqueHandle app(pi.hProcess);
  ::CloseHandle(pi.hThread);

  r = runProgram(installed, L"install");
  EXPECT_EQ(r.exitCode, 0u) << r.out;
  ASSERT_EQ(::WaitForSingleObject(app.get(), 0), WAIT_OBJECT_0) << "the app was left running";
  DWORD appExit = 259;
  ::GetExitCodeProcess(app.get(), &appExit);
  EXPECT_EQ(appExit, 0u);
  EXPECT_EQ(serviceState(), DWORD(SERVICE_RUNNING));
  EXPECT_EQ(ctlStatus(), kFreshInstallStatus);
}

TEST_F(Product, UninstallWhileTheServiceDoesNotStopRemovesNothing) {
  // Under the service's name, the audio stand-in in its mode that stays
  // stop-pending: a service still busy (or hung) when it should stop.
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  UniqueScHandle service(::OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
  // Its process, which outlives the STOPPED report for a moment.
  const auto serviceProcess = [&] {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    ::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                           sizeof(status), &needed);
    return UniqueHandle(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId));
  };
  const auto repoint = [&](const std::wstring& binary) {
    return ::ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                  SERVICE_NO_CHANGE, binary.c_str(), nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr);
  };
  UniqueHandle real = serviceProcess();
  stopService();
  ::WaitForSingleObject(real.get(), 5000);
  const std::wstring installed = installFolder() + L"\\" + kServiceExeName;
  ASSERT_TRUE(repoint(kestrune::test::quotedBinPath(L"fake_audiosrv.exe")));
  const wchar_t* config = kestrune::test::ScopedFakeAudioService::kConfigKey;
  kestrune::test::setString(HKEY_LOCAL_MACHINE, config, L"Mode", L"hang");
  startService();
  kestrune::test::setString(HKEY_LOCAL_MACHINE, config, L"Mode", L"normal");
  ASSERT_EQ(serviceState(), DWORD(SERVICE_RUNNING));
  UniqueHandle stuck = serviceProcess();
  SERVICE_STATUS status{};
  ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  ASSERT_EQ(serviceState(), DWORD(SERVICE_STOP_PENDING));

  const auto r = runProgram(installed, L"uninstall");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_EQ(r.out, "service did not stop; nothing removed, run uninstall again\n");
  EXPECT_TRUE(fileExists(installFolder() + L"\\" + kCtlExeName));
  EXPECT_TRUE(kestrune::test::keyExists(HKEY_LOCAL_MACHINE, kSettingsKeyPath));

  ::TerminateProcess(stuck.get(), 1);
  ::WaitForSingleObject(stuck.get(), 5000);
  ASSERT_TRUE(repoint(L"\"" + installed + L"\""));
  startService();
  ASSERT_EQ(serviceState(), DWORD(SERVICE_RUNNING));
}

TEST_F(Product, UninstallThatCannotRestoreTheEndpointRemovesNothing) {
  const std::wstring fx = FxPropertiesPath(kHeadsetId);
  kestrune::test::setDword(HKEY_LOCAL_MACHINE, kRenderRootPath + std::wstring(kHeadsetId),
                           L"DeviceState", 1);
  kestrune::test::setString(HKEY_LOCAL_MACHINE, fx, kPropEndpointEffectClsid, kForeignEffect);
  ASSERT_TRUE(kestrune::test::snapshotKey(HKEY_LOCAL_MACHINE, fx, headsetBefore_));
  const std::wstring ctl = installFolder() + L"\\" + kCtlExeName;
  ASSERT_EQ(runProgram(ctl, L"install " + std::wstring(kHeadsetId) + L" force").out, "ok\n");

  kestrune::test::ScopedReadOnlyKey locked(HKEY_LOCAL_MACHINE, fx);
  ASSERT_TRUE(locked.locked());
  // A stopped service is started, so that it restores with its own rights.
  for (const bool stoppedBefore : {false, true}) {
    if (stoppedBefore) stopService();
    const auto r = runProgram(installFolder() + L"\\" + kServiceExeName, L"uninstall");
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.out,
              "endpoint restore failed: cannot open the device's effect settings (error 5) "
              "(settings kept, run uninstall again)\n");
    // The service stays to finish the restore; the journal is kept.
    EXPECT_EQ(serviceState(), DWORD(SERVICE_RUNNING)) << stoppedBefore;
    RegistryValue phase;
    ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, kJournalKeyPath, kJournalPhase, phase));
    EXPECT_EQ(phase.bytes, dwordBytes(3));
    EXPECT_TRUE(fileExists(ctl));
  }
}

TEST_F(Product, UninstallRemovesEverythingButTheLogFolder) {
  kestrune::test::setDword(HKEY_CURRENT_USER, kUserKeyPath, L"StartMinimized", 1);
  // The audio service will not start again after the restore: the endpoint
  // is back all the same, and the product goes.
  const auto repointAudio = [&](const std::wstring& binary) {
    return ::ChangeServiceConfigW(audio_->service(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                  SERVICE_NO_CHANGE, binary.c_str(), nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr);
  };
  ASSERT_TRUE(repointAudio(L"C:\\missing\\audiosrv.exe"));
  const auto r = runProgram(installFolder() + L"\\" + kServiceExeName, L"uninstall");
  ASSERT_TRUE(repointAudio(kestrune::test::quotedBinPath(L"fake_audiosrv.exe")));
  EXPECT_TRUE(audio_->startAndWait());
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_EQ(r.out,
            "endpoint restored, but restarting Windows Audio failed: Windows Audio did not start "
            "again (error 2). Restart your PC.\n"
            "uninstalled (endpoint restored, service and files removed)\n");
  EXPECT_EQ(serviceState(), 0u);
  for (auto [root, path] : std::initializer_list<std::pair<HKEY, const wchar_t*>>{
           {HKEY_LOCAL_MACHINE, kSettingsKeyPath},
           {HKEY_LOCAL_MACHINE, kComClassKeyPath},
           {HKEY_LOCAL_MACHINE, kApoKeyPath},
           {HKEY_LOCAL_MACHINE, kUninstallKeyPath},
           {HKEY_CURRENT_USER, kUserKeyPath}}) {
    EXPECT_FALSE(kestrune::test::keyExists(root, path)) << wideToUtf8(path);
  }
  RegistryValue run;
  EXPECT_FALSE(readValue(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, run));
  EXPECT_FALSE(fileExists(commonPrograms() + kShortcutName));
  EXPECT_FALSE(fileExists(installFolder() + L"\\" + kAppExeName));
  EXPECT_TRUE(fileExists(knownFolderPath(FOLDERID_ProgramData) + L"\\Kestrune\\apo.log"));
  KeySnapshot headset;
  ASSERT_TRUE(
      kestrune::test::snapshotKey(HKEY_LOCAL_MACHINE, FxPropertiesPath(kHeadsetId), headset));
  ASSERT_EQ(headset.values.size(), headsetBefore_.values.size());
  EXPECT_EQ(headset.values[0].bytes, headsetBefore_.values[0].bytes) << "the headset is back";

  const auto again = runProgram(stagedService(), L"uninstall");
  EXPECT_EQ(again.exitCode, 0u) << "uninstall can run again: " << again.out;
  EXPECT_EQ(again.out, "uninstalled (endpoint restored, service and files removed)\n");
}

}  // namespace
}  // namespace kestrune::service
