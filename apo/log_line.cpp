#include "apo/log_line.h"

#include <cstdio>
#include <cstring>

namespace kestrune {

std::size_t formatLogLine(char (&line)[kLogLineBytes], const LogClock& clock, unsigned long pid,
                          const char* format, va_list args) {
  // Room for kLogTextBytes characters plus the terminator that snprintf
  // insists on; CR LF then overwrite the terminator.
  constexpr std::size_t room = kLogTextBytes + 1;
  std::snprintf(line, room, "%02d:%02d:%02d.%03d pid %lu  ", clock.hours, clock.minutes,
                clock.seconds, clock.milliseconds, pid);
  std::size_t length = std::strlen(line);
  if (length < kLogTextBytes && format) {
    std::vsnprintf(line + length, room - length, format, args);
    // Counted rather than taken from the return value: C runtimes disagree on
    // what vsnprintf returns when it cuts.
    length = std::strlen(line);
  }
  line[length] = '\r';
  line[length + 1] = '\n';
  return length + 2;
}

}  // namespace kestrune
