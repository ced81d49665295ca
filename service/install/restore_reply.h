// What the running service's reply to the pipe's `uninstall` means to the
// product uninstaller. Platform-free, so the reading is checked natively.
#pragma once

#include <string>
#include <string_view>

namespace kestrune::service {

enum class ServiceRestore {
  Done,        // the service put the endpoint back
  Failed,      // the service tried and failed; the message says why
  NotReached,  // it did not take the work (it is stopping): restore directly
};

// Reads one reply; `message` gets an error's text without "error " and the
// line end.
ServiceRestore readRestoreReply(std::string_view reply, std::string& message);

}  // namespace kestrune::service
