#include "app/page_messages.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrune::app {
namespace {

TEST(PageMessages, QuotesEveryByteClass) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"", "\"\""},
      {"abc", "\"abc\""},
      {"\"", "\"\\\"\""},
      {"\\", "\"\\\\\""},
      {"\n\r\t", "\"\\n\\r\\t\""},
      {std::string("\x00", 1), "\"\\u0000\""},
      {"\x01", "\"\\u0001\""},
      {"\x1f\x1b\x08\x0c", "\"\\u001f\\u001b\\u0008\\u000c\""},
      {" ~/'", "\" ~/'\""},
      {"\x7f", "\"\x7f\""},
      {"\xc3\xa9\xff", "\"\xc3\xa9\xff\""},
  };
  for (const Case& c : cases) EXPECT_EQ(quoteJsonString(c.in), c.out);
}

TEST(PageMessages, ReplyCopiesTheIdAndQuotesTheText) {
  EXPECT_EQ(bridgeReply("7", true, "abc"), "{\"id\":7,\"ok\":true,\"text\":\"abc\"}");
  EXPECT_EQ(bridgeReply("\"a\"", false, "x\ny\n"),
            "{\"id\":\"a\",\"ok\":false,\"text\":\"x\\ny\\n\"}");
  EXPECT_EQ(pageEvent(kEventRefresh), "{\"event\":\"refresh\"}");
}

}  // namespace
}  // namespace kestrune::app
