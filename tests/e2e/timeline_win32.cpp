#include "tests/e2e/timeline_win32.h"

#include <sstream>

namespace kestrune::e2e {

void Timeline::add(std::uint64_t at, const std::string& what, const std::string& reply) {
  std::string lines = reply;
  lines.erase(std::remove(lines.begin(), lines.end(), '\r'), lines.end());
  entries_.push_back({at, what, lines});
}

void Timeline::print() const {
  std::vector<Entry> sorted = entries_;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Entry& a, const Entry& b) { return a.at < b.at; });
  std::printf("\n  time    step\n");
  for (const Entry& e : sorted) {
    std::printf("%6.2f s  %s\n", between(start_, e.at), e.what.c_str());
    std::istringstream lines(e.reply);
    for (std::string line; std::getline(lines, line);)
      std::printf("          | %s\n", line.c_str());
  }
  std::printf("\n");
  for (const std::string& n : notes_) std::printf("%s\n", n.c_str());
  std::fflush(stdout);
}

}  // namespace kestrune::e2e
