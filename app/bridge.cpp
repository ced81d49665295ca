#include "app/bridge.h"

#include "app/page_address.h"
#include "app/page_messages.h"
#include "app/status_map.h"

namespace kestrune::app {

std::optional<BridgeRequest> splitBridgeRequest(std::string_view request) {
  const std::size_t first = request.find('\t');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = request.find('\t', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  return BridgeRequest{request.substr(0, first), request.substr(first + 1, second - first - 1),
                       request.substr(second + 1)};
}

std::uint32_t pipeTimeoutMs(std::string_view command) {
  return command.starts_with("install") || command == "uninstall" ? 30000 : 1500;
}

bool commandChangesStatus(std::string_view command) {
  return !command.starts_with("status") && command != "endpoints";
}

WindowCommand windowCommandFor(std::string_view argument) {
  if (argument == "min") return WindowCommand::Minimize;
  if (argument == "hide") return WindowCommand::Hide;
  return WindowCommand::Quit;
}

void processBridgeRequest(std::string_view request, BridgeActions& actions) {
  const std::optional<BridgeRequest> parts = splitBridgeRequest(request);
  if (!parts) return;
  const std::string_view kind = parts->kind;
  const std::string_view argument = parts->argument;
  bool ok = true;
  std::string text;
  if (kind == "pipe") {
    text = actions.callPipe(std::string(argument), pipeTimeoutMs(argument));
    ok = !replyIsError(text);
    if (ok && commandChangesStatus(argument)) actions.requestStatusRefresh();
  } else if (kind == "prefs") {
    text = prefsText(actions.readPrefs());
  } else if (kind == "pref") {
    const PrefUpdate update = parsePrefArgument(argument);
    ok = update.name.has_value();
    if (ok) actions.writePref(*update.name, update.value);
  } else if (kind == "open") {
    ok = isOpenableAddress(argument);
    if (ok) actions.openAddress(argument);
  } else if (kind == "repair") {
    ok = actions.runRepair();
    if (!ok) text = "cancelled";
  } else if (kind == "win") {
    actions.windowCommand(windowCommandFor(argument));
  } else {
    ok = false;
  }
  actions.postReply(bridgeReply(parts->id, ok, text));
}

}  // namespace kestrune::app
