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

// How long a call waits for the reply once the service has the request.
enum class ReplyWait {
  kUntilAnswered,   // the service bounds its own work (an install takes up to ~30 s)
  kWithinDeadline,  // the whole call ends by its deadline: callers on a UI thread
};

// Sends `command` to `pipeName` and returns the reply. Each try waits for a
// free instance at most until `reachTimeoutMs` has passed since the first
// try; while the pipe is missing, busy or timed out (errors 2, 231, 121) it
// tries again every 20 ms until then; any other error ends at once. A reply
// over 65535 bytes fails with ERROR_MORE_DATA; a reply not there by the
// deadline, with kWithinDeadline, fails with ERROR_TIMEOUT. Any thread.
inline PipeCallResult callPipe(const std::string& command, const char* pipeName,
                               std::uint64_t reachTimeoutMs,
                               ReplyWait replyWait = ReplyWait::kUntilAnswered) {
  // One byte more than the reply limit holds the terminating NUL.
  std::vector<char> buffer(kMaxReplyBytes + 1);
  const std::uint64_t deadline = ::GetTickCount64() + reachTimeoutMs;
  for (;;) {
    const std::uint64_t now = ::GetTickCount64();
    // 0 would mean the pipe's default wait, and the all-ones value forever.
    const DWORD leftMs = static_cast<DWORD>(
        std::clamp<std::uint64_t>(deadline > now ? deadline - now : 0, 1, 0xFFFFFFFEu));
    DWORD received = 0;
    if (transactNamedPipe(pipeName, command.data(), static_cast<DWORD>(command.size()),
                          buffer.data(), kMaxReplyBytes, &received, leftMs,
                          replyWait == ReplyWait::kWithinDeadline ? deadline : 0)) {
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
