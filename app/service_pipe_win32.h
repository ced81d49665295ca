// The app's conversations with the service over the control pipe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kestrune::app {

// One transaction with `timeoutMs` to reach the pipe (20 ms retries while it
// is missing or busy); "error service" when none succeeded. Any thread.
std::string callService(const std::string& command, std::uint32_t timeoutMs);

// The same, ending within `timeoutMs` even when the service is slow to
// answer (it serialises commands, and an install holds it for seconds):
// for the calls that block the UI thread.
std::string callServiceOnUiThread(const std::string& command, std::uint32_t timeoutMs);

// Sends `command` on a worker thread (1500 ms), discards the reply, then asks
// `window` for a status refresh without a balloon. Returns at once.
void sendInBackground(HWND window, std::string command);

// Every call but the status reads of the tray menu and Quit, which block the
// UI thread and get the shorter bound.
inline constexpr std::uint32_t kCallTimeoutMs = 1500;
inline constexpr std::uint32_t kMenuStatusTimeoutMs = 600;

}  // namespace kestrune::app
