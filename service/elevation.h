// The console verbs' rule for administrator rights: work at once when
// elevated, otherwise hand over to an elevated copy and pass its exit code on.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::service {

inline constexpr char kElevationRefusedMessage[] = "cancelled: administrator rights are needed\n";

// The operating-system side of elevation; a fake stands in for it in tests,
// as a test prefix always runs elevated.
class ElevationPort {
 public:
  virtual ~ElevationPort() = default;
  virtual bool isElevated() = 0;
  // Starts this program again with the "runas" verb and waits for it: its exit
  // code (1 when unreadable), or nothing when no process came back.
  virtual std::optional<std::uint32_t> runElevatedCopy(const std::wstring& parameters) = 0;
  virtual void print(const char* text) = 0;
};

// `args` are the start arguments without the program name; `work` runs the
// verb itself and returns its exit code.
int runElevated(const std::vector<std::wstring>& args, ElevationPort& port,
                const std::function<int()>& work);

}  // namespace kestrune::service
