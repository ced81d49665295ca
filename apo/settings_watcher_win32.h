// The live-settings watcher of one effect instance: a thread that follows the
// settings key (Enabled, Intensity, Meter), feeds the engine its target
// selector and meter switch, attaches the shared meter section when the
// service has created it (again) and publishes the stream format and state in
// the section's header.
#pragma once

#include <windows.h>

#include "apo/dsp/effect_engine.h"
#include "apo/selector_rule.h"
#include "common/handles_win32.h"

namespace kestrune {

// Reads Enabled, Intensity and Meter from HKLM\SOFTWARE\Kestrune (REG_DWORD
// only); what is missing or unreadable keeps its default. `key` may be null
// (the key is missing): all defaults.
EffectSettings readEffectSettings(HKEY key);

// The selector the settings name right now. [config]
std::int32_t readSelectorNow();

class SettingsWatcher {
 public:
  explicit SettingsWatcher(EffectEngine& engine) : engine_(engine) {}
  ~SettingsWatcher();
  SettingsWatcher(const SettingsWatcher&) = delete;
  SettingsWatcher& operator=(const SettingsWatcher&) = delete;

  // [config] Restarts the thread; the engine's target selector is first set
  // to its current one so that no fade starts at lock. False when the thread
  // could not be started (the engine then runs on what it has).
  bool start();
  // [config] Signals the thread and waits for it to end.
  void stop();
  // [config] After stop: the attached section's state becomes 0 and every
  // view, attached or retired, is unmapped.
  void markIdleAndReleaseViews();
  // [config] After stop: unmaps every view without touching the header.
  void releaseViews();

 private:
  static DWORD WINAPI threadMain(void* self);
  void run();
  // Opens the key when none is open and asks for its change notification
  // when none is pending; false when the key refused it (the caller closes
  // the key once it has read through it).
  bool watchKey(UniqueHKey& key, HANDLE changeEvent, bool& armed);
  void attachSection();
  void publishHeader();

  static constexpr int kMaxRetiredViews = 8;
  static constexpr DWORD kWakeUpMs = 1000;

  EffectEngine& engine_;
  UniqueHandle stopEvent_;
  UniqueHandle thread_;
  // Views replaced while a real-time call may still write through them; kept
  // mapped until unlock. Only the watcher thread and (after stop) the
  // configuration thread touch them.
  MeterSection* retired_[kMaxRetiredViews] = {};
  int retiredCount_ = 0;
  bool notAvailableLogged_ = false;  // once per effect instance
};

}  // namespace kestrune
