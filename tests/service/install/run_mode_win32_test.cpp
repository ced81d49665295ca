#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "common/handles_win32.h"
#include "common/names.h"
#include "common/utf8_win32.h"
#include "ctl/pipe_call_win32.h"
#include "service/dispatcher.h"
#include "service/endpoints/endpoint_inventory_win32.h"
#include "service/service_main_win32.h"
#include "service/service_state_win32.h"
#include "service/settings_store.h"
#include "tests/support/child_process_win32.h"
#include "tests/support/run_mode_service_win32.h"
#include "tests/support/scoped_registry_win32.h"

namespace kestrune::service {
namespace {

using kestrune::test::KeySnapshot;
using kestrune::test::ScopedRegistryKey;

using kestrune::test::RunModeService;

std::string call(const std::string& request) {
  ctl::PipeCallResult r = ctl::callPipe(request, kPipeNameA, 30000);
  return r.ok ? r.reply : "(no reply, error " + std::to_string(r.error) + ")";
}

TEST(RunMode, StopsOnConsoleControlEventAndSwitchesTheEffectOff) {
  ScopedRegistryKey settings(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
  settings.erase();
  kestrune::test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMode, 0);
  RunModeService service;
  ASSERT_TRUE(service.started());
  EXPECT_EQ(call("set wanted 1"), "ok\n");
  EXPECT_EQ(readNumber(kValueEnabled, 7), 1u);
  EXPECT_EQ(readNumber(kValueMeter, 7), 1u);
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_TRUE(service.sendCtrlC()) << "console control event not sent";
  EXPECT_EQ(service.waitForExit(5000), 0u);
  EXPECT_LT(::GetTickCount64() - start, 5000u);
  EXPECT_EQ(readNumber(kValueEnabled, 7), 0u);
  EXPECT_EQ(readNumber(kValueMeter, 7), 0u);
}

const wchar_t kEndpointId[] = L"{0.0.0.00000000}.{6b1f0c3e-0d52-4d8e-9a51-crashtest0001}";

void createEndpoint(const std::wstring& fxPath) {
  const std::wstring path = std::wstring(kRenderRootPath) + kEndpointId;
  kestrune::test::setDword(HKEY_LOCAL_MACHINE, path, L"DeviceState", 1);
  kestrune::test::setString(HKEY_LOCAL_MACHINE, fxPath, L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},7",
                            std::wstring(L"{00000000-0000-0000-0000-000000000001}\0\0", 40),
                            REG_MULTI_SZ);
  kestrune::test::setBytes(HKEY_LOCAL_MACHINE, fxPath, L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5",
                           REG_BINARY, {1, 2, 3});
}

bool sameSnapshot(const KeySnapshot& a, const KeySnapshot& b) {
  if (a.values.size() != b.values.size()) return false;
  for (const auto& va : a.values) {
    bool found = false;
    for (const auto& vb : b.values) {
      found = found || (va.name == vb.name && va.type == vb.type && va.bytes == vb.bytes);
    }
    if (!found) return false;
  }
  return true;
}

TEST(RunMode, CrashDuringAttachIsRolledBackBeforeThePipeAnswersAgain) {
  ScopedRegistryKey settings(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
  const std::wstring endpointPath = std::wstring(kRenderRootPath) + kEndpointId;
  ScopedRegistryKey endpoint(HKEY_LOCAL_MACHINE, endpointPath);
  settings.erase();
  endpoint.erase();
  const std::wstring fxPath = FxPropertiesPath(kEndpointId);
  createEndpoint(fxPath);
  KeySnapshot before;
  ASSERT_TRUE(kestrune::test::snapshotKey(HKEY_LOCAL_MACHINE, fxPath, before));
  const std::string request = "debug-crash-install " + wideToUtf8(kEndpointId);
  {
    RunModeService service;
    ASSERT_TRUE(service.started());
    EXPECT_EQ(call(request), kReplyUnknown) << "Debug absent";
    kestrune::test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueDebug, 1);
    call(request);
    EXPECT_EQ(service.waitForExit(10000), 99u);
  }
  EXPECT_EQ(readNumber(kJournalKeyPath, L"_Phase", 0), 1u);
  KeySnapshot crashed;
  kestrune::test::snapshotKey(HKEY_LOCAL_MACHINE, fxPath, crashed);
  EXPECT_FALSE(sameSnapshot(before, crashed)) << "the crash came after the endpoint writes";

  RunModeService restarted;
  const std::string status = call("status");
  EXPECT_NE(status.find("\nendpoint=\ninstall_phase=0\nfull_fx=0\n"), std::string::npos) << status;
  KeySnapshot after;
  ASSERT_TRUE(kestrune::test::snapshotKey(HKEY_LOCAL_MACHINE, fxPath, after));
  EXPECT_TRUE(sameSnapshot(before, after));
  EXPECT_FALSE(kestrune::test::keyExists(HKEY_LOCAL_MACHINE, kJournalKeyPath));
  EXPECT_TRUE(restarted.sendCtrlC()) << "console control event not sent";
  EXPECT_EQ(restarted.waitForExit(5000), 0u);
}

TEST(RunMode, ClosingTheConsoleReturnsOnlyOnceTheEffectIsSwitchedOff) {
  // For a closed console, a logoff or a shutdown the process ends as soon as
  // the handler returns: the final zeros must be written by then.
  ScopedRegistryKey settings(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
  settings.erase();
  kestrune::test::setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMode, 0);
  ::ResetEvent(serviceState().stopEvent);  // this process's own run
  int exitCode = -1;
  std::thread foreground([&] { exitCode = runForeground(); });
  EXPECT_EQ(call("set wanted 1"), "ok\n");
  EXPECT_EQ(readNumber(kValueEnabled, 7), 1u);
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_TRUE(onConsoleControl(CTRL_CLOSE_EVENT));
  EXPECT_LT(::GetTickCount64() - start, kStopWaitHintMs);
  EXPECT_EQ(readNumber(kValueEnabled, 7), 0u);
  EXPECT_EQ(readNumber(kValueMeter, 7), 0u);
  foreground.join();
  EXPECT_EQ(exitCode, 0);
}

TEST(ServiceMode, StartedFromAConsoleFailsQuietlyWithOne) {
  const auto r = kestrune::test::runChild(kestrune::test::quotedBinPath(L"kestrune_service.exe") +
                                          L" something-else");
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace kestrune::service
