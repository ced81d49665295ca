#include "app/tray_status.h"

namespace kestrune::app {

TrayView trayViewForReply(std::string_view reply) {
  if (replyIsError(reply)) return {TrayState::Attention, "Orvantis: needs a repair"};
  const StatusMap status = statusMapFromReply(reply);
  if (statusValue(status, "endpoint").empty()) {
    return {TrayState::Attention, "Orvantis: no headset set up"};
  }
  if (statusIsOne(status, "drift")) return {TrayState::Attention, "Orvantis: needs attention"};
  if (statusIsOne(status, "wanted")) {
    if (statusIsOne(status, "processing")) {
      return {TrayState::Active, "Orvantis: active (" +
                                     std::string(intensityWord(statusValue(status, "intensity"))) +
                                     ")"};
    }
    return {TrayState::Waiting, "Orvantis: on, waiting for PUBG"};
  }
  return {TrayState::Off, "Orvantis: off"};
}

std::string_view intensityWord(std::string_view intensity) {
  if (intensity == "1") return "Light";
  if (intensity == "2") return "Normal";
  return "Strong";
}

std::optional<ToggleStep> toggleStep(const StatusMap& status) {
  if (!status.contains("wanted")) return std::nullopt;
  const bool wasOn = statusIsOne(status, "wanted");
  return ToggleStep{wasOn ? kCommandWantedOff : kCommandWantedOn, !wasOn};
}

}  // namespace kestrune::app
