#include "service/game_watcher_win32.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "common/handles_win32.h"
#include "common/names.h"
#include "service/endpoints/endpoint_inventory_win32.h"
#include "service/endpoints/endpoint_plan.h"
#include "service/service_state_win32.h"
#include "service/settings_store.h"
#include "tests/support/child_process_win32.h"
#include "tests/support/running_copy_win32.h"
#include "tests/support/scoped_registry_win32.h"

namespace kestrune::service {
namespace {

using test::RunningCopy;
using test::ScopedRegistryKey;
using test::setDword;
using test::setString;

class GameWatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.erase();
    ServiceState& s = serviceState();
    ::ResetEvent(s.stopEvent);
    s.gameRunning = false;
    s.drift = false;
    s.compareDeadlineMs = 0;
  }
  void TearDown() override { ::ResetEvent(serviceState().stopEvent); }

  static std::uint32_t stored(const wchar_t* name) { return readNumber(name, 99); }

  ScopedRegistryKey settings_{HKEY_LOCAL_MACHINE, kSettingsKeyPath};
};

TEST_F(GameWatcher, MatchesWholeProcessNamesIgnoringAsciiCase) {
  struct Case {
    const wchar_t* exe;
    bool match;
  };
  for (const Case c :
       {Case{L"TslGame.exe", true}, Case{L"tslgame.EXE", true}, Case{L"TslGame.exe2", false}}) {
    RunningCopy game(L"game_stand_in.exe", c.exe);
    ASSERT_TRUE(game.running()) << c.exe;
    EXPECT_EQ(isAnyGameRunning(effectiveGamesList()), c.match) << c.exe;
    EXPECT_EQ(isAnyGameRunning({L"other.exe", L"TSLGAME.EXE"}), c.match) << c.exe;
  }
  EXPECT_FALSE(isAnyGameRunning(effectiveGamesList()));
  EXPECT_FALSE(isAnyGameRunning({}));
}

// The rule itself is tested natively; here: defaults of an empty key, the
// flags as the switch reads them, and the registry writes.
TEST_F(GameWatcher, SwitchFollowsSettingsGameAndCompareWindow) {
  runEffectSwitch();  // empty key: wanted, auto, no game
  EXPECT_EQ(stored(kValueEnabled), 0u);
  EXPECT_EQ(stored(kValueMeter), 0u);
  serviceState().gameRunning = true;
  runEffectSwitch();
  EXPECT_EQ(stored(kValueEnabled), 1u);
  EXPECT_EQ(stored(kValueMeter), 1u);
  serviceState().compareDeadlineMs = ::GetTickCount64() + kCompareWindowMs;
  runEffectSwitch();
  EXPECT_EQ(stored(kValueEnabled), 0u);
  EXPECT_EQ(stored(kValueMeter), 1u);
  serviceState().compareDeadlineMs = 0;
  setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueWanted, 0);
  runEffectSwitch();
  EXPECT_EQ(stored(kValueEnabled), 0u);
  EXPECT_EQ(stored(kValueMeter), 0u);
}

TEST_F(GameWatcher, SwitchWritesOnlyWhatChanged) {
  setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMode, 0);
  runEffectSwitch();
  ASSERT_EQ(stored(kValueEnabled), 1u);

  UniqueHKey key;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_NOTIFY, key.put()),
            ERROR_SUCCESS);
  UniqueHandle changed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_EQ(
      ::RegNotifyChangeKeyValue(key.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed.get(), TRUE),
      ERROR_SUCCESS);
  runEffectSwitch();
  EXPECT_EQ(::WaitForSingleObject(changed.get(), 200), static_cast<DWORD>(WAIT_TIMEOUT));

  // A value of another type reads as the impossible default and is rewritten.
  setString(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMeter, L"1");
  runEffectSwitch();
  EXPECT_EQ(stored(kValueMeter), 1u);
}

TEST_F(GameWatcher, EndpointCheckSetsDriftOnlyAtPhaseTwo) {
  ScopedRegistryKey render(HKEY_LOCAL_MACHINE, kRenderEndpointsPath);
  const std::wstring id = L"{0.0.0.00000000}.{watch-check}";
  const std::wstring fx = FxPropertiesPath(id);
  struct Case {
    DWORD phase;            // 0: no journal
    const wchar_t* device;  // nullptr: no _Device
    const wchar_t* slot;    // nullptr: no slot value
    bool driftBefore;
    bool driftAfter;
  };
  const wchar_t* ours = kEffectClsidTextW;
  const Case cases[] = {
      {2, id.c_str(), ours, true, false},
      {2, id.c_str(), L"{b3c1f6a2-5d4e-4f8a-9c7b-2e1d0a9f8c64}", false, true},
      {2, id.c_str(), L"{62DC1A93-AE24-464C-A43E-452F824C4250}", false, true},
      {2, id.c_str(), nullptr, false, true},
      {2, nullptr, ours, false, true},
      {1, id.c_str(), nullptr, false, false},
      {3, id.c_str(), nullptr, true, true},
      {0, nullptr, nullptr, true, true},
      {0, nullptr, nullptr, false, false},
  };
  for (const Case& c : cases) {
    settings_.erase();
    render.erase();
    if (c.phase != 0) setDword(HKEY_LOCAL_MACHINE, kJournalKeyPath, kJournalPhase, c.phase);
    if (c.device) setString(HKEY_LOCAL_MACHINE, kJournalKeyPath, kJournalDevice, c.device);
    if (c.slot) setString(HKEY_LOCAL_MACHINE, fx, kPropEndpointEffectClsid, c.slot);
    serviceState().drift = c.driftBefore;
    runEndpointCheck();
    EXPECT_EQ(serviceState().drift.load(), c.driftAfter)
        << c.phase << " " << (c.slot ? "slot" : "no slot") << (c.device ? "" : " no device");
  }
}

TEST_F(GameWatcher, FirstPassAfterOneIntervalAndFinalWritesAtStop) {
  setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMode, 1);
  setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueWanted, 1);
  std::thread watcher([] { runGameWatcher(); });
  ::Sleep(300);
  EXPECT_EQ(stored(kValueEnabled), 99u) << "looked before the first interval";
  {
    RunningCopy game(L"game_stand_in.exe", L"TslGame.exe");
    ASSERT_TRUE(game.running());
    // Passes come about once a second; allow a few.
    for (int i = 0; i < 40 && stored(kValueEnabled) != 1; ++i) ::Sleep(100);
    EXPECT_EQ(stored(kValueEnabled), 1u);
    EXPECT_EQ(stored(kValueMeter), 1u);
    EXPECT_TRUE(serviceState().gameRunning.load());
  }
  for (int i = 0; i < 40 && stored(kValueMeter) != 0; ++i) ::Sleep(100);
  EXPECT_EQ(stored(kValueMeter), 0u) << "game gone, auto mode";

  setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMode, 0);
  for (int i = 0; i < 40 && stored(kValueEnabled) != 1; ++i) ::Sleep(100);
  ASSERT_EQ(stored(kValueEnabled), 1u);
  ::SetEvent(serviceState().stopEvent);
  watcher.join();
  EXPECT_EQ(stored(kValueEnabled), 0u);
  EXPECT_EQ(stored(kValueMeter), 0u);
}

// A stop before the first pass still writes the zeros, and they are the last
// word: they wait for a pipe command's switch in progress, and a command
// served after them does not switch the effect back on.
TEST_F(GameWatcher, StopZerosOutlastCommandsBeingServed) {
  setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMode, 0);  // always: the switch says on
  setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueEnabled, 1);
  setDword(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMeter, 1);
  ::SetEvent(serviceState().stopEvent);
  std::unique_lock<std::mutex> command(serviceState().lock);
  std::thread watcher([] { runGameWatcher(); });
  ::Sleep(200);
  EXPECT_EQ(stored(kValueEnabled), 1u) << "final writes did not wait for the command";
  command.unlock();
  watcher.join();
  EXPECT_EQ(stored(kValueEnabled), 0u);
  EXPECT_EQ(stored(kValueMeter), 0u);

  command.lock();
  runEffectSwitch();
  command.unlock();
  EXPECT_EQ(stored(kValueEnabled), 0u);
  EXPECT_EQ(stored(kValueMeter), 0u);
}

}  // namespace
}  // namespace kestrune::service
