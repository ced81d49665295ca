#include "apo/log_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kestrune {
namespace {

std::string format(const LogClock& clock, unsigned long pid, const char* fmt, ...) {
  char line[kLogLineBytes];
  std::memset(line, '#', sizeof(line));
  va_list args;
  va_start(args, fmt);
  const std::size_t n = formatLogLine(line, clock, pid, fmt, args);
  va_end(args);
  EXPECT_LE(n, kLogLineBytes);
  return std::string(line, n);
}

TEST(LogLine, PrefixHoldsTimeAndProcessId) {
  EXPECT_EQ(format({7, 5, 9, 42}, 1234, "Initialize cb=%u", 88u),
            "07:05:09.042 pid 1234  Initialize cb=88\r\n");
  EXPECT_EQ(format({23, 59, 59, 999}, 4294967295ul, "x"), "23:59:59.999 pid 4294967295  x\r\n");
  EXPECT_EQ(format({0, 0, 0, 0}, 1, "%s", ""), "00:00:00.000 pid 1  \r\n");
}

TEST(LogLine, EveryMessageLengthIsCutAt510BytesBeforeCrLf) {
  const std::string prefix = "12:00:00.000 pid 77  ";
  for (std::size_t length = 480; length <= 600; ++length) {
    const std::string message(length, 'm');
    const std::string line = format({12, 0, 0, 0}, 77, "%s", message.c_str());
    const std::size_t text = std::min<std::size_t>(prefix.size() + length, kLogTextBytes);
    ASSERT_EQ(line.size(), text + 2) << length;
    EXPECT_EQ(line.substr(0, prefix.size()), prefix);
    EXPECT_EQ(line.substr(text), "\r\n");
    EXPECT_EQ(line.find('#'), std::string::npos);
  }
}

TEST(LogLine, FloatAndHexFormatsOfTheEffectsMessages) {
  EXPECT_EQ(format({1, 2, 3, 4}, 5, "rate=%.0f err 0x%08lx", 44100.0, 0x887D0003ul),
            "01:02:03.004 pid 5  rate=44100 err 0x887d0003\r\n");
}

}  // namespace
}  // namespace kestrune
