// The page bridge: one string request in, at most one JSON reply out. The
// processing runs without a window or a web view; everything it does to the
// outside world goes through BridgeActions, so the app, a test or a console
// driver can each supply their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/prefs.h"

namespace kestrune::app {

// A request "id TAB kind TAB argument"; the argument may hold more TABs.
struct BridgeRequest {
  std::string_view id;
  std::string_view kind;
  std::string_view argument;
};

// Splits at the first two TABs; none when either is missing.
std::optional<BridgeRequest> splitBridgeRequest(std::string_view request);

// 30000 ms for "install..." and "uninstall" (they restart the audio
// service), 1500 ms otherwise.
std::uint32_t pipeTimeoutMs(std::string_view command);

// Whether a successful command may have changed the status ("status..." and
// "endpoints" only read).
bool commandChangesStatus(std::string_view command);

// WM_COMMAND identifiers of the main window.
enum class WindowCommand : unsigned { Minimize = 1, Hide = 2, Quit = 3 };

// "min" minimises, "hide" hides, anything else quits.
WindowCommand windowCommandFor(std::string_view argument);

// The side effects of a request. Called on the thread that processes the
// request (a worker in the app); strings are UTF-8.
class BridgeActions {
 public:
  virtual ~BridgeActions() = default;
  // One control-pipe transaction; "error service" when none succeeded.
  virtual std::string callPipe(const std::string& command, std::uint32_t timeoutMs) = 0;
  // Asks for a status refresh (tray poll and the page's "refresh" event).
  virtual void requestStatusRefresh() = 0;
  virtual void windowCommand(WindowCommand command) = 0;
  virtual Prefs readPrefs() = 0;
  // Failures are not reported.
  virtual void writePref(PrefName name, bool value) = 0;
  // Opens an address already checked by isOpenableAddress.
  virtual void openAddress(std::string_view address) = 0;
  // Runs the service program's installer elevated and waits for it (at most
  // 60 s); false when it could not be started or the user declined.
  virtual bool runRepair() = 0;
  // Receives the reply, a JSON text, after every other action of the request.
  virtual void postReply(std::string json) = 0;
};

// Processes one request; malformed requests (fewer than two TABs) get no reply.
void processBridgeRequest(std::string_view request, BridgeActions& actions);

}  // namespace kestrune::app
