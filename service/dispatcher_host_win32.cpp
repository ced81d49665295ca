#include "service/dispatcher_host_win32.h"

#include <windows.h>

#include <optional>

#include "common/names.h"
#include "common/utf8_win32.h"
#include "service/dispatcher.h"
#include "service/endpoints/effect_attach_win32.h"
#include "service/endpoints/endpoint_inventory_win32.h"
#include "service/game_watcher_win32.h"
#include "service/service_state_win32.h"
#include "service/settings_store.h"

namespace kestrune::service {
namespace {

// Absent stays absent so the status reply applies each line's own default.
std::optional<std::uint32_t> readOptionalNumber(const wchar_t* keyPath, const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, keyPath, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

// Once the stop has begun, endpoint work must not start: the process may end
// between stopping and starting the audio service and leave Windows silent.
bool refusedWhileStopping(std::string& message) {
  if (::WaitForSingleObject(serviceState().stopEvent, 0) != WAIT_OBJECT_0) return false;
  message = kMessageStopping;
  return true;
}

}  // namespace

void ServiceCommandHost::lock() { serviceState().lock.lock(); }
void ServiceCommandHost::unlock() { serviceState().lock.unlock(); }

StatusInputs ServiceCommandHost::readStatus() {
  ServiceState& state = serviceState();
  StatusInputs in;
  in.compareDeadlineMs = state.compareDeadlineMs.load();
  in.games = gamesListText();
  in.drift = state.drift.load();
  in.full = readOptionalNumber(kJournalKeyPath, L"_Full");
  in.phase = readOptionalNumber(kJournalKeyPath, L"_Phase");
  in.endpoint = wideToUtf8(readText(kJournalKeyPath, L"_Device"));
  in.intensity = readOptionalNumber(kSettingsKeyPath, kValueIntensity);
  in.enabled = readOptionalNumber(kSettingsKeyPath, kValueEnabled);
  in.gameRunning = state.gameRunning.load();
  in.mode = readOptionalNumber(kSettingsKeyPath, kValueMode);
  in.wanted = readOptionalNumber(kSettingsKeyPath, kValueWanted);
  in.nowMs = ::GetTickCount64();
  return in;
}

std::string ServiceCommandHost::listEndpoints() { return ListRenderEndpoints(); }

bool ServiceCommandHost::writeNumber(NumberSetting setting, std::uint32_t value) {
  switch (setting) {
    case NumberSetting::Wanted:
      return service::writeNumber(kValueWanted, value);
    case NumberSetting::Intensity:
      return service::writeNumber(kValueIntensity, value);
    case NumberSetting::Mode:
      return service::writeNumber(kValueMode, value);
  }
  return false;
}

bool ServiceCommandHost::writeGames(std::string_view text) { return writeGamesList(text); }

void ServiceCommandHost::setCompare(bool on) {
  serviceState().compareDeadlineMs.exchange(on ? ::GetTickCount64() + kCompareWindowMs : 0);
}

void ServiceCommandHost::runEffectSwitch() { service::runEffectSwitch(); }

bool ServiceCommandHost::debugCommandsAllowed() { return readNumber(kValueDebug, 0) == 1; }

bool ServiceCommandHost::attach(std::string_view endpointId, bool full, bool force, bool crashTest,
                                std::string& message) {
  if (refusedWhileStopping(message)) return false;
  return AttachEffect(utf8ToWide(endpointId), full, crashTest, force, message);
}

bool ServiceCommandHost::restore(std::string& message) {
  if (refusedWhileStopping(message)) return false;
  return RestoreEndpoint(true, message);
}

CommandHost& serviceCommandHost() {
  static ServiceCommandHost* const host = new ServiceCommandHost;
  return *host;
}

}  // namespace kestrune::service
