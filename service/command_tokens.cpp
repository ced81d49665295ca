#include "service/command_tokens.h"

namespace kestrune::service {

std::string_view stripLineEnds(std::string_view request) {
  while (!request.empty() && (request.back() == '\n' || request.back() == '\r')) {
    request.remove_suffix(1);
  }
  return request;
}

std::vector<std::string_view> splitCommandWords(std::string_view request) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (pos < request.size()) {
    if (request[pos] == ' ') {
      ++pos;
      continue;
    }
    const std::size_t end = request.find(' ', pos);
    const std::size_t stop = end == std::string_view::npos ? request.size() : end;
    words.push_back(request.substr(pos, stop - pos));
    pos = stop;
  }
  return words;
}

}  // namespace kestrune::service
