// The effect's diagnostic log line: time and process id in front, the
// message after, cut to 510 bytes, then CR LF. Formatting only; writing the
// file is the platform's part.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace kestrune {

inline constexpr std::size_t kLogLineBytes = 512;  // with CR LF
inline constexpr std::size_t kLogTextBytes = 510;  // prefix + message

struct LogClock {
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  int milliseconds = 0;
};

// Formats "HH:MM:SS.mmm pid N  " + message + CR LF into `line` and returns
// the bytes used (at most kLogLineBytes). Never fails: a message that does
// not fit is cut.
std::size_t formatLogLine(char (&line)[kLogLineBytes], const LogClock& clock, unsigned long pid,
                          const char* format, va_list args);

}  // namespace kestrune
