// The control pipe's command dispatcher: one request in, one reply out. The
// service's state is reached only through CommandHost, so the decisions here
// run natively against a fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "service/status_reply.h"

namespace kestrune::service {

enum class NumberSetting { Wanted, Intensity, Mode };

// What the dispatcher needs of the running service. Every call but
// lock/unlock happens with the service lock held.
class CommandHost {
 public:
  virtual ~CommandHost() = default;
  virtual void lock() = 0;
  virtual void unlock() = 0;
  virtual StatusInputs readStatus() = 0;
  virtual std::string listEndpoints() = 0;
  virtual bool writeNumber(NumberSetting setting, std::uint32_t value) = 0;
  virtual bool writeGames(std::string_view text) = 0;
  virtual void setCompare(bool on) = 0;
  virtual void runEffectSwitch() = 0;
  virtual bool debugCommandsAllowed() = 0;  // the Debug setting is 1
  virtual bool attach(std::string_view endpointId, bool full, bool force, bool crashTest,
                      std::string& message) = 0;
  virtual bool restore(std::string& message) = 0;
};

inline constexpr char kReplyOk[] = "ok\n";
inline constexpr char kReplyEmpty[] = "error empty command\n";
inline constexpr char kReplyRegistry[] = "error registry\n";
// The failure message of endpoint work asked for once the service is
// stopping; the uninstaller takes it for "not reached".
inline constexpr char kMessageStopping[] = "the service is stopping; nothing changed";
inline constexpr char kReplyUnknown[] =
    "error unknown command. commands: status | endpoints | set wanted 0|1 | set intensity 1|2|3 | "
    "set mode auto|always | set games a.exe,b.exe | install <endpoint-id> [full] [force] | "
    "uninstall\n";

// Runs one request (line ends already stripped or not) and returns the reply.
// The lock is held from after splitting until the reply text is complete.
std::string dispatchRequest(std::string_view request, CommandHost& host);

}  // namespace kestrune::service
