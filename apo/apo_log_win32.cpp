#include "apo/apo_log_win32.h"

#include <windows.h>

#include <cstdarg>

#include "apo/log_line.h"
#include "common/handles_win32.h"
#include "common/names.h"

namespace kestrune {

namespace {

// One writer at a time within the process. Append-only handles already put
// each write at the end of file on Windows, but Wine moves to the end and
// writes in two steps, so concurrent lines could overwrite each other there.
// Never taken on the real-time thread, which does not log.
SRWLOCK logLock = SRWLOCK_INIT;

}  // namespace

void apoLog(const char* format, ...) {
  const DWORD savedError = ::GetLastError();
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  const LogClock clock{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};

  char line[kLogLineBytes];
  va_list args;
  va_start(args, format);
  const std::size_t length = formatLogLine(line, clock, ::GetCurrentProcessId(), format, args);
  va_end(args);

  AcquireSRWLockExclusive(&logLock);
  ScopeExit unlock([] { ReleaseSRWLockExclusive(&logLock); });
  UniqueFileHandle file(::CreateFileW(kLogPath, FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) {
    DWORD written = 0;
    ::WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
  }
  ::SetLastError(savedError);
}

}  // namespace kestrune
