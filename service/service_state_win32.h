// Process-wide state shared by the game watcher, the control pipe and the
// service body. Lives for the whole run; created on first use.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace kestrune::service {

struct ServiceState {
  // Serialises the effect switch, the endpoint check, every pipe command with
  // tokens and the start-up recovery. Non-recursive: never call back into a
  // locked operation while holding it.
  std::mutex lock;
  // Manual-reset, unsignalled at first; ends the watcher and the pipe server.
  HANDLE stopEvent = nullptr;
  // [watcher] writes once per pass by exchange; read by the switch and status.
  std::atomic<bool> gameRunning{false};
  // Set by the endpoint check while the journal is at phase 2; cleared by a
  // successful restore. Read without the lock by the status reply.
  std::atomic<bool> drift{false};
  // GetTickCount64 milliseconds; before it the effect passes audio through.
  std::atomic<std::uint64_t> compareDeadlineMs{0};
};

// The one instance of the process (the stop event is created on first call).
ServiceState& serviceState();

}  // namespace kestrune::service
