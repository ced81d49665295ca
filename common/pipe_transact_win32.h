// One request and one reply on the control pipe, as CallNamedPipeA makes
// them, but asking only for the rights the service grants its clients.
#pragma once

#include <windows.h>

namespace kestrune {

// Read, write data, and write attributes (to switch to message read mode).
// Not GENERIC_WRITE: it holds FILE_APPEND_DATA, which on a pipe is the right
// to create instances, and the service grants that to nobody but the system
// and administrators, so that no one else can answer its clients.
inline constexpr DWORD kPipeClientAccess = GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;

// CallNamedPipeA's contract: waits up to `waitMs` for a busy pipe, fails with
// ERROR_MORE_DATA for a reply longer than `replyBytes`, and leaves the last
// error set on failure.
inline BOOL transactNamedPipe(const char* pipeName, const void* request, DWORD requestBytes,
                              void* reply, DWORD replyBytes, DWORD* received, DWORD waitMs) {
  const auto open = [&] {
    return ::CreateFileA(pipeName, kPipeClientAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  };
  HANDLE pipe = open();
  if (pipe == INVALID_HANDLE_VALUE) {
    if (::GetLastError() != ERROR_PIPE_BUSY || !::WaitNamedPipeA(pipeName, waitMs)) return FALSE;
    pipe = open();
    if (pipe == INVALID_HANDLE_VALUE) return FALSE;
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  BOOL ok = ::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  if (ok) {
    ok = ::TransactNamedPipe(pipe, const_cast<void*>(request), requestBytes, reply, replyBytes,
                             received, nullptr);
  }
  const DWORD error = ::GetLastError();
  ::CloseHandle(pipe);
  ::SetLastError(error);
  return ok;
}

}  // namespace kestrune
