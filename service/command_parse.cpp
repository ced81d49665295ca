#include "service/command_parse.h"

#include <optional>

namespace kestrune::service {
namespace {

std::optional<std::uint32_t> zeroOrOne(std::string_view word) {
  if (word == "0") return 0;
  if (word == "1") return 1;
  return std::nullopt;
}

std::optional<std::uint32_t> intensityLevel(std::string_view word) {
  if (word.size() == 1 && word[0] >= '1' && word[0] <= '3') return word[0] - '0';
  return std::nullopt;
}

std::optional<std::uint32_t> modeNumber(std::string_view word) {
  if (word == "auto") return 1;
  if (word == "always") return 0;
  return std::nullopt;
}

Command only(CommandKind kind) {
  Command c;
  c.kind = kind;
  return c;
}

Command numberCommand(CommandKind kind, std::optional<std::uint32_t> number) {
  Command c;
  if (!number) return c;
  c.kind = kind;
  c.number = *number;
  return c;
}

Command parseSet(const std::vector<std::string_view>& words) {
  if (words.size() != 3) return {};
  const std::string_view key = words[1];
  const std::string_view value = words[2];
  if (key == "wanted") return numberCommand(CommandKind::SetWanted, zeroOrOne(value));
  if (key == "compare") return numberCommand(CommandKind::SetCompare, zeroOrOne(value));
  if (key == "intensity") return numberCommand(CommandKind::SetIntensity, intensityLevel(value));
  if (key == "mode") return numberCommand(CommandKind::SetMode, modeNumber(value));
  if (key == "games") {
    Command c;
    c.kind = CommandKind::SetGames;
    c.text = value;
    return c;
  }
  return {};
}

Command parseInstall(const std::vector<std::string_view>& words) {
  Command c;
  c.kind = CommandKind::Install;
  c.text = words[1];
  for (std::size_t i = 2; i < words.size(); ++i) {
    if (words[i] == "full") c.full = true;
    if (words[i] == "force") c.force = true;
  }
  return c;
}

}  // namespace

Command parseCommand(const std::vector<std::string_view>& words) {
  if (words.empty()) return only(CommandKind::Empty);
  const std::string_view head = words[0];
  if (head == "status") return only(CommandKind::Status);
  if (head == "endpoints") return only(CommandKind::Endpoints);
  if (head == "set") return parseSet(words);
  if (head == "install" && words.size() >= 2) return parseInstall(words);
  if (head == "uninstall") return only(CommandKind::Uninstall);
  if (head == "debug-crash-install" && words.size() >= 2) {
    Command c;
    c.kind = CommandKind::DebugCrashInstall;
    c.text = words[1];
    c.full = words.size() == 3;
    return c;
  }
  return {};
}

}  // namespace kestrune::service
