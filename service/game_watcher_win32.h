// The service's main loop: about once a second, look for a listed game, run
// the effect switch, and every fifth pass check the attached endpoint.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::service {

inline constexpr std::uint32_t kWatcherPassIntervalMs = 1000;
inline constexpr std::uint64_t kCompareWindowMs = 15000;

// Runs on the service-body thread until serviceState().stopEvent is signalled,
// then writes `Enabled` = 0 and `Meter` = 0 (under the lock) and returns.
// The first pass comes one interval after the call. `passIntervalMs` exists
// for tests; the service uses the default.
void runGameWatcher(std::uint32_t passIntervalMs = kWatcherPassIntervalMs);

// Writes `Enabled` = 0 and `Meter` = 0 under the service lock: the service's
// last word whenever it ends, stopped or failing to start.
void switchEffectOff();

// Writes `Enabled` and `Meter` from `Wanted`, `Mode`, the game-running flag
// and the compare deadline, each only when the stored value differs. Does
// nothing once the stop event is signalled. The caller holds serviceState().lock.
void runEffectSwitch();

// While the journal is at phase 2, sets the drift flag when the journal's
// endpoint no longer carries the effect's class id (exact, with case);
// otherwise leaves the flag alone. The caller holds serviceState().lock.
void runEndpointCheck();

// One toolhelp scan: true when a running process's file name matches an entry.
// A failed snapshot counts as no game.
bool isAnyGameRunning(const std::vector<std::wstring>& games);

}  // namespace kestrune::service
