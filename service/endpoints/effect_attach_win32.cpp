#include "service/endpoints/effect_attach_win32.h"

#include <algorithm>
#include <string>

#include "common/handles_win32.h"
#include "common/names.h"
#include "common/utf8_win32.h"
#include "service/endpoints/audio_restart_win32.h"
#include "service/endpoints/endpoint_inventory_win32.h"
#include "service/service_state_win32.h"
#include "service/settings_store.h"

namespace kestrune::service {

namespace {

constexpr DWORD kJournalNameChars = 256;
constexpr DWORD kJournalDeviceBytes = 2048;
constexpr DWORD kCrashTestExitCode = 99;
constexpr int kValueReadAttempts = 8;

const AttachTestHooks* g_hooks = nullptr;

bool stopHere(const char* point) { return g_hooks && g_hooks->stopAt && g_hooks->stopAt(point); }

bool restartAudio(std::string& message) {
  if (g_hooks && g_hooks->restartAudio) return g_hooks->restartAudio(message);
  return RestartAudioService(message);
}

bool setDword(HKEY key, const wchar_t* name, DWORD value) {
  return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value)) == ERROR_SUCCESS;
}

bool setText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void deleteJournal() {
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kJournalKeyPath);
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kJournalKeyPath);
}

const char kStoppedMessage[] = "stopped at an injected point";

// Only "not found" means absent: a journal value that exists but cannot be
// read must never pass for a missing one, or a live journal is dropped.
LSTATUS notFoundAsRead(LSTATUS status) {
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// The journal's `_Phase`; 0 when the journal or the value does not exist.
LSTATUS readPendingPhase(DWORD& phase) {
  phase = 0;
  DWORD size = sizeof(phase);
  const LSTATUS status = ::RegGetValueW(HKEY_LOCAL_MACHINE, kJournalKeyPath, kJournalPhase,
                                        RRF_RT_REG_DWORD, nullptr, &phase, &size);
  if (status != ERROR_SUCCESS) phase = 0;
  return notFoundAsRead(status);
}

// The journal's `_Device`; empty when the value does not exist.
LSTATUS readJournalDevice(HKEY journal, std::wstring& device) {
  wchar_t buffer[kJournalDeviceBytes / sizeof(wchar_t)] = {};
  DWORD size = sizeof(buffer);
  const LSTATUS status =
      ::RegGetValueW(journal, nullptr, kJournalDevice, RRF_RT_REG_SZ, nullptr, buffer, &size);
  device = status == ERROR_SUCCESS ? buffer : L"";
  return notFoundAsRead(status);
}

std::string withError(const char* text, LSTATUS status) {
  return text + std::string(" (error ") + std::to_string(status) + ")";
}

// Journals the endpoint's current values; false at the first failed write,
// after which nothing more is written.
bool writeJournal(HKEY journal, HKEY fx, const std::wstring& endpointId, bool full,
                  const std::vector<PlannedValue>& plan, bool& stopped) {
  stopped = true;
  if (!setText(journal, kJournalDevice, endpointId)) return false;
  if (stopHere("journal _Device")) return false;
  if (!setDword(journal, kJournalFull, full ? 1 : 0)) return false;
  if (stopHere("journal _Full")) return false;
  if (!setDword(journal, kJournalPhase, 1)) return false;
  if (stopHere("journal _Phase 1")) return false;
  for (const PlannedValue& planned : plan) {
    // A value that cannot be read would be journaled as added and deleted
    // by the restore.
    const std::optional<ValueRecord> current = ReadValueRecord(fx, planned.name.c_str());
    if (!current) return false;
    const bool written = current->present
                             ? WriteValueRecord(journal, (L"v:" + planned.name).c_str(), *current)
                             : setText(journal, (L"a:" + planned.name).c_str(), L"");
    if (!written) return false;
    if (stopHere("journal entry")) return false;
  }
  stopped = false;
  return true;
}

}  // namespace

void setAttachTestHooks(const AttachTestHooks* hooks) { g_hooks = hooks; }

std::optional<ValueRecord> ReadValueRecord(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD size = 0;
  const LSTATUS first = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  if (first == ERROR_FILE_NOT_FOUND) return ValueRecord{};
  if (first != ERROR_SUCCESS) return std::nullopt;
  // Windows rewrites effect properties too, so the value can grow between the
  // two reads; read again into a buffer of the new size. A buffer of at least
  // one byte keeps the data read from turning into a size query when the
  // value was empty.
  for (int attempt = 0; attempt < kValueReadAttempts; ++attempt) {
    std::vector<std::uint8_t> bytes(std::max<DWORD>(size, 1), 0);
    const LSTATUS status = ::RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size);
    if (status == ERROR_SUCCESS) {
      bytes.resize(std::min<size_t>(size, bytes.size()));
      return ValueRecord{true, type, std::move(bytes)};
    }
    if (status == ERROR_FILE_NOT_FOUND) return ValueRecord{};  // deleted in between
    if (status != ERROR_MORE_DATA) break;
  }
  return std::nullopt;
}

bool WriteValueRecord(HKEY key, const wchar_t* name, const ValueRecord& record) {
  if (record.present) {
    return ::RegSetValueExW(key, name, 0, record.type, record.bytes.data(),
                            static_cast<DWORD>(record.bytes.size())) == ERROR_SUCCESS;
  }
  const LSTATUS status = ::RegDeleteValueW(key, name);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool AttachEffect(const std::wstring& endpointId, bool full, bool crashTest, bool force,
                  std::string& message) {
  const std::wstring fxPath = FxPropertiesPath(endpointId);
  if (!force && HasForeignEffect(endpointId)) {
    message = "this device already runs another app's audio effect (" +
              wideToUtf8(readText(fxPath.c_str(), kPropEndpointEffectClsid)) +
              "); Orvantis would replace it and break that app. Choose your headset or "
              "speakers instead.";
    return false;
  }
  DWORD pending = 0;
  if (const LSTATUS status = readPendingPhase(pending); status != ERROR_SUCCESS) {
    message = withError("cannot read the restore journal", status) + "; nothing changed";
    return false;
  }
  if (pending != 0 && !RestoreEndpoint(false, message)) return false;

  UniqueHKey fx;
  if (!couldBeEndpointId(endpointId) ||
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, fxPath.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      fx.put()) != ERROR_SUCCESS) {
    message = "no such render endpoint (or no FxProperties): " + wideToUtf8(endpointId);
    return false;
  }
  // No work is pending now, so a journal key still present is a remnant (an
  // interrupted delete); its entries must not be mixed into this attach.
  deleteJournal();
  UniqueHKey journal;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kJournalKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, journal.put(), nullptr) != ERROR_SUCCESS) {
    message =
        "cannot write the restore journal (needs the service / administrator rights); "
        "nothing changed";
    return false;
  }

  const std::vector<PlannedValue> plan = PlanEndpointValues(full);
  bool stopped = false;
  bool journalOk = writeJournal(journal.get(), fx.get(), endpointId, full, plan, stopped);
  if (stopped) {
    message = kStoppedMessage;
    return false;
  }
  journalOk = journalOk && ::RegFlushKey(journal.get()) == ERROR_SUCCESS;
  if (!journalOk) {
    fx.reset();
    journal.reset();
    deleteJournal();
    message = "could not write the restore journal; nothing changed";
    return false;
  }
  if (stopHere("journal flushed")) {
    message = kStoppedMessage;
    return false;
  }

  for (const PlannedValue& planned : plan) {
    if (!WriteValueRecord(fx.get(), planned.name.c_str(), planned.record)) {
      message = "could not write " + wideToUtf8(planned.name);
      fx.reset();
      journal.reset();
      std::string discarded;
      RestoreEndpoint(false, discarded);
      return false;
    }
    if (stopHere("endpoint value")) {
      message = kStoppedMessage;
      return false;
    }
  }
  fx.reset();
  if (crashTest) ::TerminateProcess(::GetCurrentProcess(), kCrashTestExitCode);
  if (stopHere("before phase 2")) {
    message = kStoppedMessage;
    return false;
  }

  // Left at phase 1, the next start-up would silently take back an attach
  // reported as done; undo it now instead.
  if (!setDword(journal.get(), kJournalPhase, 2)) {
    journal.reset();
    std::string discarded;
    RestoreEndpoint(false, discarded);
    message = "could not write the restore journal; nothing changed";
    return false;
  }
  journal.reset();
  return restartAudio(message);
}

bool RestoreEndpoint(bool restartAudioService, std::string& message) {
  UniqueHKey journal;
  const LSTATUS opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kJournalKeyPath, 0,
                                         KEY_READ | KEY_SET_VALUE, journal.put());
  if (opened == ERROR_FILE_NOT_FOUND) return true;  // nothing to restore
  if (opened != ERROR_SUCCESS) {
    message = withError("cannot open the restore journal", opened);
    return false;
  }
  std::wstring device;
  if (const LSTATUS status = readJournalDevice(journal.get(), device); status != ERROR_SUCCESS) {
    message = withError("cannot read the restore journal", status);
    return false;
  }
  setDword(journal.get(), kJournalPhase, 3);
  if (stopHere("restore _Phase 3")) {
    message = kStoppedMessage;
    return false;
  }

  bool failed = false;
  // Without a device there is no endpoint to put values back into.
  UniqueHKey fx;
  const LSTATUS fxOpened =
      device.empty() ? ERROR_FILE_NOT_FOUND
                     : ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, FxPropertiesPath(device).c_str(), 0,
                                       KEY_SET_VALUE, fx.put());
  // Only a missing key means the endpoint is gone. Any other failure (access
  // denied, for one) keeps the journal, the only copy of its old values.
  if (fxOpened != ERROR_SUCCESS && fxOpened != ERROR_FILE_NOT_FOUND) {
    message = withError("cannot open the device's effect settings", fxOpened);
    return false;
  }
  if (fxOpened == ERROR_SUCCESS) {
    for (DWORD index = 0;; ++index) {
      wchar_t name[kJournalNameChars] = {};
      DWORD nameChars = kJournalNameChars;
      if (::RegEnumValueW(journal.get(), index, name, &nameChars, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
        break;
      }
      const JournalEntry entry = parseJournalEntryName(std::wstring_view(name, nameChars));
      if (entry.kind == JournalEntryKind::None) continue;
      bool restored = false;
      if (entry.kind == JournalEntryKind::Saved) {
        // A saved value that cannot be read back must not turn into a delete.
        const std::optional<ValueRecord> saved = ReadValueRecord(journal.get(), name);
        restored =
            saved && saved->present && WriteValueRecord(fx.get(), entry.property.c_str(), *saved);
      } else {
        restored = WriteValueRecord(fx.get(), entry.property.c_str(), ValueRecord{});
      }
      if (!restored) {
        message = "could not restore " + wideToUtf8(entry.property);
        failed = true;
      }
      if (stopHere("restore entry")) {
        message = kStoppedMessage;
        return false;
      }
    }
    fx.reset();
  }
  journal.reset();
  if (failed) return false;
  if (stopHere("before journal delete")) {
    message = kStoppedMessage;
    return false;
  }

  deleteJournal();
  serviceState().drift.exchange(false);
  return restartAudioService ? restartAudio(message) : true;
}

}  // namespace kestrune::service
