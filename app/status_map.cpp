#include "app/status_map.h"

namespace kestrune::app {

StatusMap statusMapFromReply(std::string_view reply) {
  StatusMap map;
  std::size_t pos = 0;
  while (pos < reply.size()) {
    std::size_t end = reply.find('\n', pos);
    if (end == std::string_view::npos) end = reply.size();
    const std::string_view line = reply.substr(pos, end - pos);
    const std::size_t eq = line.find('=');
    if (eq != std::string_view::npos) {
      map.insert_or_assign(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }
    pos = end + 1;
  }
  return map;
}

std::string_view statusValue(const StatusMap& map, std::string_view key) {
  const auto it = map.find(key);
  return it == map.end() ? std::string_view() : std::string_view(it->second);
}

bool statusIsOne(const StatusMap& map, std::string_view key) {
  return statusValue(map, key) == "1";
}

bool replyIsError(std::string_view reply) { return reply.starts_with("error"); }

bool replyIsOk(std::string_view reply) { return reply.starts_with("ok"); }

}  // namespace kestrune::app
