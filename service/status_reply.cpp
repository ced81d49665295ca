#include "service/status_reply.h"

namespace kestrune::service {
namespace {

void line(std::string& out, const char* name, const std::string& value) {
  out += name;
  out += value;
  out += '\n';
}

std::string number(std::optional<std::uint32_t> value, std::uint32_t fallback) {
  return std::to_string(value.value_or(fallback));
}

}  // namespace

std::string formatStatusReply(const StatusInputs& in) {
  std::string out;
  out.reserve(160 + in.endpoint.size() + in.games.size());
  line(out, "wanted=", number(in.wanted, 1));
  line(out, "mode=", in.mode.value_or(1) == 0 ? "always" : "auto");
  line(out, "game_running=", in.gameRunning ? "1" : "0");
  line(out, "processing=", number(in.enabled, 0));
  line(out, "intensity=", number(in.intensity, 3));
  line(out, "endpoint=", in.endpoint);
  line(out, "install_phase=", number(in.phase, 0));
  line(out, "full_fx=", number(in.full, 0));
  line(out, "drift=", in.drift ? "1" : "0");
  line(out, "games=", in.games.empty() ? std::string("TslGame.exe") : in.games);
  line(out, "comparing=", in.nowMs < in.compareDeadlineMs ? "1" : "0");
  return out;
}

}  // namespace kestrune::service
