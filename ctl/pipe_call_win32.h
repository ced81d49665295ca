// One transaction on the control pipe with the client's retry rule.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kestrune::ctl {

struct PipeCallResult {
  bool ok = false;
  DWORD error = 0;    // system error code when !ok
  std::string reply;  // bytes received when ok, at most 65535
};

// Sends `command` to `pipeName` and returns the reply. While the pipe is
// missing, busy or timed out (errors 2, 231, 121) it tries again every 20 ms
// until `reachTimeoutMs` has passed since the first try; any other error ends
// at once. A reply over 65535 bytes fails with ERROR_MORE_DATA.
PipeCallResult callPipe(const std::string& command, const char* pipeName,
                        std::uint64_t reachTimeoutMs);

inline constexpr std::uint64_t kReachTimeoutMs = 30000;

}  // namespace kestrune::ctl
