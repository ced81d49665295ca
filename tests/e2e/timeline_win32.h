// The scenario's timeline: each step with its time and what was answered,
// printed in time order at the end (some times are known only once the
// captured audio has been analysed), followed by a few summary lines.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/clock_win32.h"

namespace kestrune::e2e {

// printf into a string.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
  const int n = std::snprintf(nullptr, 0, pattern, args...);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  std::snprintf(out.data(), out.size() + 1, pattern, args...);
  return out;
}

class Timeline {
 public:
  // Times count from here.
  void begin() { start_ = performanceMicroseconds(); }
  // A step at a time of performanceMicroseconds(); the reply's lines are
  // printed below it (carriage returns dropped).
  void add(std::uint64_t at, const std::string& what, const std::string& reply = {});
  void add(const std::string& what, const std::string& reply = {}) {
    add(performanceMicroseconds(), what, reply);
  }
  void note(const std::string& line) { notes_.push_back(line); }
  void print() const;

  static double between(std::uint64_t from, std::uint64_t to) {
    return (static_cast<double>(to) - static_cast<double>(from)) / 1e6;
  }

 private:
  struct Entry {
    std::uint64_t at;
    std::string what, reply;
  };
  std::uint64_t start_ = performanceMicroseconds();
  std::vector<Entry> entries_;
  std::vector<std::string> notes_;
};

}  // namespace kestrune::e2e
