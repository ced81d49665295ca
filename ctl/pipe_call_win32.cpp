#include "ctl/pipe_call_win32.h"

#include <vector>

#include "common/names.h"

namespace kestrune::ctl {

namespace {

bool isRetryable(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PIPE_BUSY || error == ERROR_SEM_TIMEOUT;
}

}  // namespace

PipeCallResult callPipe(const std::string& command, const char* pipeName,
                        std::uint64_t reachTimeoutMs) {
  // One byte more than the reply limit holds the terminating NUL.
  std::vector<char> buffer(kMaxReplyBytes + 1);
  const std::uint64_t deadline = ::GetTickCount64() + reachTimeoutMs;
  for (;;) {
    DWORD received = 0;
    if (::CallNamedPipeA(pipeName, const_cast<char*>(command.data()),
                         static_cast<DWORD>(command.size()), buffer.data(), kMaxReplyBytes,
                         &received, 30000)) {
      buffer[received] = '\0';
      return {true, 0, std::string(buffer.data(), received)};
    }
    const DWORD error = ::GetLastError();
    if (!isRetryable(error) || ::GetTickCount64() > deadline) return {false, error, {}};
    ::Sleep(20);
  }
}

}  // namespace kestrune::ctl
