// Attaching the effect to a render endpoint and putting the endpoint back,
// through the restore journal HKLM SOFTWARE\Kestrune\Journal. The journal is
// complete and flushed before the endpoint is touched, so a crash at any
// point is undone by the next RestoreEndpoint. Callers hold the service lock.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "service/endpoints/endpoint_plan.h"

namespace kestrune::service {

// Fills a record from an open key: size and type first, then the data into a
// zero-filled buffer, keeping exactly the bytes the second read reports.
// Absent only when the value does not exist; nullopt when it exists (or may
// exist) but cannot be read, which must never be taken for absent.
std::optional<ValueRecord> ReadValueRecord(HKEY key, const wchar_t* name);

// Sets the value from a present record or deletes it for an absent one
// (a missing value counts as deleted).
bool WriteValueRecord(HKEY key, const wchar_t* name, const ValueRecord& record);

// Journals the endpoint's current values, writes the effect into its
// FxProperties and restarts the audio service. Refuses an endpoint that
// carries another product's effect unless `force`. With `crashTest` the
// process ends with exit code 99 right after the endpoint writes, leaving the
// journal at phase 1. A pending journal is put back first; one whose phase
// cannot be read fails the attach. On failure `message` (UTF-8) says why.
bool AttachEffect(const std::wstring& endpointId, bool full, bool crashTest, bool force,
                  std::string& message);

// Puts back the journal's endpoint values and deletes the journal; true at
// once when there is no journal, or when the endpoint's key no longer exists.
// With `restartAudio` the audio service is restarted after a successful
// restore. Only "not found" means absent: a journal that cannot be opened or
// whose `_Device` cannot be read fails, and so does an endpoint key that
// exists but cannot be opened; the journal is kept and `message` says why.
bool RestoreEndpoint(bool restartAudio, std::string& message);

// Test seams. `stopAt` is asked at every point where a crash must stay
// recoverable (its argument names the point); returning true abandons the
// work there as a crash would. `restartAudio` replaces RestartAudioService.
struct AttachTestHooks {
  std::function<bool(const char* point)> stopAt;
  std::function<bool(std::string& message)> restartAudio;
};
// Installs hooks for the calling test; nullptr removes them. Not thread-safe.
void setAttachTestHooks(const AttachTestHooks* hooks);

}  // namespace kestrune::service
