#include "service/game_watcher_win32.h"

// clang-format off
#include <windows.h>
#include <tlhelp32.h>  // needs windows.h first
// clang-format on

#include "common/handles_win32.h"
#include "common/names.h"
#include "service/effect_switch.h"
#include "service/endpoints/endpoint_inventory_win32.h"
#include "service/endpoints/endpoint_plan.h"
#include "service/games_list.h"
#include "service/service_state_win32.h"
#include "service/settings_store.h"
#include "service/u16_win32.h"

namespace kestrune::service {

namespace {

// The stored value is read with an impossible default so that a missing
// value is always written once.
constexpr std::uint32_t kUnreadSwitch = 2;

void writeIfDifferent(const wchar_t* name, std::uint32_t value) {
  // A failed write is retried by the next pass, which sees the old value.
  if (readNumber(name, kUnreadSwitch) != value) writeNumber(name, value);
}

bool stopSignalled(std::uint32_t waitMs) {
  return ::WaitForSingleObject(serviceState().stopEvent, waitMs) == WAIT_OBJECT_0;
}

}  // namespace

bool isAnyGameRunning(const std::vector<std::wstring>& games) {
  UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  std::vector<std::u16string> listed;
  for (const std::wstring& g : games) listed.emplace_back(asU16(g));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (anyGameMatches(asU16(entry.szExeFile), listed)) return true;
  }
  return false;
}

void runEffectSwitch() {
  ServiceState& state = serviceState();
  // Once stop is signalled the watcher's final zeros are the last word; a
  // command still being served must not switch the effect back on after them.
  if (stopSignalled(0)) return;
  const std::uint32_t mode = readNumber(kValueMode, 1);
  const std::uint32_t wanted = readNumber(kValueWanted, 1);
  const SwitchValues v = decideSwitch(wanted, mode, state.gameRunning.load(), ::GetTickCount64(),
                                      state.compareDeadlineMs.load());
  writeIfDifferent(kValueEnabled, v.enabled);
  writeIfDifferent(kValueMeter, v.meter);
}

void runEndpointCheck() {
  if (readNumber(kJournalKeyPath, kJournalPhase, 0) != 2) return;
  const std::wstring device = readText(kJournalKeyPath, kJournalDevice);
  const std::wstring slot = readText(FxPropertiesPath(device).c_str(), kPropEndpointEffectClsid);
  serviceState().drift.exchange(!slotHoldsOurEffect(asU16(slot)));
}

void runGameWatcher(std::uint32_t passIntervalMs) {
  ServiceState& state = serviceState();
  if (!stopSignalled(passIntervalMs)) {
    for (std::uint64_t pass = 0;; ++pass) {
      state.gameRunning.exchange(isAnyGameRunning(effectiveGamesList()));
      {
        std::lock_guard<std::mutex> hold(state.lock);
        runEffectSwitch();
        if (pass % 5 == 0) runEndpointCheck();
      }
      if (stopSignalled(passIntervalMs)) break;
    }
  }
  switchEffectOff();
}

void switchEffectOff() {
  // Under the lock, so a switch that began before the stop cannot land after
  // these writes.
  std::lock_guard<std::mutex> hold(serviceState().lock);
  writeNumber(kValueEnabled, 0);
  writeNumber(kValueMeter, 0);
}

}  // namespace kestrune::service
