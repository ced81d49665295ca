// One request and one reply on the control pipe, as CallNamedPipeA makes
// them, but asking only for the rights the service grants its clients.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "common/handles_win32.h"

namespace kestrune {

// Read, write data, and write attributes (to switch to message read mode).
// Not GENERIC_WRITE: it holds FILE_APPEND_DATA, which on a pipe is the right
// to create instances, and the service grants that to nobody but the system
// and administrators, so that no one else can answer its clients.
inline constexpr DWORD kPipeClientAccess = GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;

namespace detail {

// One overlapped transaction on an open pipe; see transactNamedPipe.
inline BOOL transactOnPipe(HANDLE pipe, HANDLE done, const void* request, DWORD requestBytes,
                           void* reply, DWORD replyBytes, DWORD* received,
                           std::uint64_t replyDeadline) {
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) return FALSE;
  OVERLAPPED transfer{};
  transfer.hEvent = done;
  if (!::TransactNamedPipe(pipe, const_cast<void*>(request), requestBytes, reply, replyBytes,
                           nullptr, &transfer) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    return FALSE;
  }
  DWORD replyWaitMs = INFINITE;
  if (replyDeadline != 0) {
    const std::uint64_t now = ::GetTickCount64();
    replyWaitMs = static_cast<DWORD>(
        std::min<std::uint64_t>(replyDeadline > now ? replyDeadline - now : 1, 0xFFFFFFFEu));
  }
  if (::WaitForSingleObject(done, replyWaitMs) != WAIT_OBJECT_0) {
    ::CancelIoEx(pipe, &transfer);
    ::GetOverlappedResult(pipe, &transfer, received, TRUE);
    ::SetLastError(ERROR_TIMEOUT);
    return FALSE;
  }
  return ::GetOverlappedResult(pipe, &transfer, received, FALSE);
}

}  // namespace detail

// CallNamedPipeA's contract: waits up to `waitMs` for a busy pipe, fails with
// ERROR_MORE_DATA for a reply longer than `replyBytes`, and leaves the last
// error set on failure. Beyond it, a nonzero `replyDeadline` (a
// GetTickCount64 value) bounds the wait for the reply: past it the
// transaction is cancelled and the call fails with ERROR_TIMEOUT.
inline BOOL transactNamedPipe(const char* pipeName, const void* request, DWORD requestBytes,
                              void* reply, DWORD replyBytes, DWORD* received, DWORD waitMs,
                              std::uint64_t replyDeadline = 0) {
  const auto open = [&] {
    return ::CreateFileA(pipeName, kPipeClientAccess, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  };
  UniqueFileHandle pipe(open());
  if (!pipe) {
    if (::GetLastError() != ERROR_PIPE_BUSY || !::WaitNamedPipeA(pipeName, waitMs)) return FALSE;
    pipe.reset(open());
    if (!pipe) return FALSE;
  }
  UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) return FALSE;
  const BOOL ok = detail::transactOnPipe(pipe.get(), done.get(), request, requestBytes, reply,
                                         replyBytes, received, replyDeadline);
  const DWORD error = ::GetLastError();
  pipe.reset();
  done.reset();
  ::SetLastError(error);
  return ok;
}

}  // namespace kestrune
