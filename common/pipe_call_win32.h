// One transaction on the control pipe with the clients' retry rule, shared by
// the desktop app and the command-line client.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/names.h"
#include "common/pipe_transact_win32.h"

namespace kestrune {

struct PipeCallResult {
  bool ok = false;
  DWORD error = 0;    // system error code when !ok
  std::string reply;  // bytes received when ok, at most 65535
};

// Sends `command` to `pipeName` and returns the reply. Each try waits up to
// `reachTimeoutMs` for a free instance; while the pipe is missing, busy or
// timed out (errors 2, 231, 121) it tries again every 20 ms until
// `reachTimeoutMs` has passed since the first try; any other error ends at
// once. A reply over 65535 bytes fails with ERROR_MORE_DATA. Any thread.
inline PipeCallResult callPipe(const std::string& command, const char* pipeName,
                               std::uint64_t reachTimeoutMs) {
  // One byte more than the reply limit holds the terminating NUL.
  std::vector<char> buffer(kMaxReplyBytes + 1);
  const std::uint64_t deadline = ::GetTickCount64() + reachTimeoutMs;
  // 0 would mean the pipe's default wait, and the all-ones value forever.
  const DWORD waitMs =
      static_cast<DWORD>(std::clamp<std::uint64_t>(reachTimeoutMs, 1, 0xFFFFFFFEu));
  for (;;) {
    DWORD received = 0;
    if (transactNamedPipe(pipeName, command.data(), static_cast<DWORD>(command.size()),
                          buffer.data(), kMaxReplyBytes, &received, waitMs)) {
      buffer[received] = '\0';
      return {true, 0, std::string(buffer.data(), received)};
    }
    const DWORD error = ::GetLastError();
    const bool retryable =
        error == ERROR_FILE_NOT_FOUND || error == ERROR_PIPE_BUSY || error == ERROR_SEM_TIMEOUT;
    if (!retryable || ::GetTickCount64() > deadline) return {false, error, {}};
    ::Sleep(20);
  }
}

}  // namespace kestrune
