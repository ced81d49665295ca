#include "apo/settings_watcher_win32.h"

#include <cstring>

#include "apo/apo_log_win32.h"
#include "common/meter_layout.h"
#include "common/names.h"

namespace kestrune {

namespace {

void readDword(HKEY key, const wchar_t* name, std::uint32_t& value) {
  DWORD data = 0;
  DWORD size = sizeof(data);
  if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &data, &size) == ERROR_SUCCESS)
    value = data;
}

UniqueHKey openSettingsKey() {
  UniqueHKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    key.reset();
  return key;
}

}  // namespace

EffectSettings readEffectSettings(HKEY key) {
  EffectSettings s;
  if (!key) return s;
  readDword(key, kValueEnabled, s.enabled);
  readDword(key, kValueIntensity, s.intensity);
  readDword(key, kValueMeter, s.meter);
  return s;
}

std::int32_t readSelectorNow() {
  UniqueHKey key = openSettingsKey();
  return selectorFor(readEffectSettings(key.get()));
}

SettingsWatcher::~SettingsWatcher() {
  stop();
  releaseViews();
}

bool SettingsWatcher::start() {
  stop();
  engine_.syncTargetToCurrent();
  stopEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!stopEvent_) return false;
  thread_.reset(::CreateThread(nullptr, 0, &SettingsWatcher::threadMain, this, 0, nullptr));
  if (!thread_) {
    stopEvent_.reset();
    return false;
  }
  return true;
}

void SettingsWatcher::stop() {
  if (thread_) {
    ::SetEvent(stopEvent_.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
  }
  stopEvent_.reset();
}

void SettingsWatcher::markIdleAndReleaseViews() {
  if (MeterSection* attached = engine_.attachedMeter())
    reinterpret_cast<volatile MeterSection*>(attached)->state = kMeterStateIdle;
  releaseViews();
}

void SettingsWatcher::releaseViews() {
  if (MeterSection* attached = engine_.attachMeter(nullptr)) ::UnmapViewOfFile(attached);
  for (int i = 0; i < retiredCount_; ++i) ::UnmapViewOfFile(retired_[i]);
  retiredCount_ = 0;
}

DWORD WINAPI SettingsWatcher::threadMain(void* self) {
  static_cast<SettingsWatcher*>(self)->run();
  return 0;
}

void SettingsWatcher::run() {
  UniqueHandle changeEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  UniqueHKey key;
  bool armed = false;  // a notification request is pending on `key`
  for (;;) {
    const bool keepKey = watchKey(key, changeEvent.get(), armed);
    const EffectSettings settings = readEffectSettings(key.get());
    // Closed only after this pass has read through it: closed before, the
    // pass would play the defaults instead of the player's settings.
    if (!keepKey) key.reset();
    engine_.setTargetSelector(selectorFor(settings));
    engine_.setMeterEnabled(settings.meter != 0);
    attachSection();
    publishHeader();

    const HANDLE waits[2] = {stopEvent_.get(), changeEvent.get()};
    const DWORD count = changeEvent ? 2 : 1;
    const DWORD woke = ::WaitForMultipleObjects(count, waits, FALSE, kWakeUpMs);
    if (woke == WAIT_OBJECT_0) break;
    if (woke == WAIT_OBJECT_0 + 1) armed = false;
  }
}

bool SettingsWatcher::watchKey(UniqueHKey& key, HANDLE changeEvent, bool& armed) {
  // A deleted key never reports a change again; it is reopened so that its
  // re-creation is followed.
  if (key && ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    key.reset();
  if (!key) {
    armed = false;
    key = openSettingsKey();
    if (!key) return true;
  }
  // A notification fires once, so it is asked for again after it fired, but
  // not on a pass woken by the time-out: every request made while one is
  // still pending is another wait kept by the system until the key changes
  // or closes. Without a request the 1 s wake-up still keeps the values
  // current; a key that refuses it is reopened on the next pass.
  if (armed) return true;
  armed = changeEvent && ::RegNotifyChangeKeyValue(key.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                                   changeEvent, TRUE) == ERROR_SUCCESS;
  return armed;
}

void SettingsWatcher::attachSection() {
  MeterSection* attached = engine_.attachedMeter();
  UniqueView view;
  DWORD error = ERROR_SUCCESS;
  {
    UniqueHandle section(
        ::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kMeterSectionName));
    if (!section) {
      error = ::GetLastError();
    } else {
      // The view keeps the section alive; the handle is not needed past this.
      view.reset(
          ::MapViewOfFile(section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kMeterSectionBytes));
      if (!view) error = ::GetLastError();
    }
  }
  if (!view) {
    if (!attached && !notAvailableLogged_) {
      apoLog("meter not available (error %lu)", static_cast<unsigned long>(error));
      notAvailableLogged_ = true;
    }
    return;
  }
  auto* fresh = static_cast<MeterSection*>(view.get());
  if (std::memcmp(fresh->magic, kMeterMagic, sizeof(kMeterMagic)) != 0) return;
  if (attached && attached->instanceId == fresh->instanceId) return;

  MeterSection* previous = engine_.attachMeter(static_cast<MeterSection*>(view.release()));
  if (!previous) {
    apoLog("meter connected");
    return;
  }
  // A ninth replaced view stays mapped for the life of the process: a
  // real-time call may still be writing through it.
  if (retiredCount_ < kMaxRetiredViews) retired_[retiredCount_++] = previous;
  apoLog("meter re-connected (service restarted)");
}

void SettingsWatcher::publishHeader() {
  MeterSection* attached = engine_.attachedMeter();
  if (!attached) return;
  // Plain stores to shared memory; readers take each field as a whole 32-bit value.
  auto& header = *reinterpret_cast<volatile MeterSection*>(attached);
  header.sampleRate = static_cast<std::int32_t>(engine_.sampleRate());
  header.channels = engine_.channels();
  header.state = engine_.stateCode();
}

}  // namespace kestrune
