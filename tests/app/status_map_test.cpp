#include "app/status_map.h"

#include <gtest/gtest.h>

namespace kestrune::app {
namespace {

TEST(StatusMap, ReadsKeyValueLinesWithoutTrimming) {
  struct Case {
    const char* reply;
    StatusMap expected;
  };
  const Case cases[] = {
      {"wanted=1\nintensity=2\n", {{"intensity", "2"}, {"wanted", "1"}}},
      {"a=b=c", {{"a", "b=c"}}},
      // The "=" of the next line never completes a line without one.
      {"junk\nk=v\n", {{"k", "v"}}},
      {"k=1\r\n k = 2 \n", {{"k", "1\r"}, {" k ", " 2 "}}},
      {"k=1\nk=2\n", {{"k", "2"}}},
      {"=x\nempty=\n\n", {{"", "x"}, {"empty", ""}}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(statusMapFromReply(c.reply), c.expected) << c.reply;
}

TEST(StatusMap, MissingKeysReadEmptyAndOnlyExactOneCounts) {
  const StatusMap map = statusMapFromReply("wanted=1\ndrift=1 \nprocessing=11\n");
  EXPECT_TRUE(statusIsOne(map, "wanted"));
  EXPECT_FALSE(statusIsOne(map, "drift"));
  EXPECT_FALSE(statusIsOne(map, "processing"));
  EXPECT_FALSE(statusIsOne(map, "endpoint"));
  EXPECT_EQ(statusValue(map, "endpoint"), "");
}

TEST(StatusMap, ErrorAndOkReplies) {
  EXPECT_TRUE(replyIsError("error service"));
  EXPECT_TRUE(replyIsError("error"));
  EXPECT_FALSE(replyIsError("erro"));
  EXPECT_FALSE(replyIsError(" error"));
  EXPECT_TRUE(replyIsOk("ok\n"));
  EXPECT_TRUE(replyIsOk("ok"));
  EXPECT_FALSE(replyIsOk("o"));
  EXPECT_FALSE(replyIsOk(""));
}

}  // namespace
}  // namespace kestrune::app
