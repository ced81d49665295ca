#include "service/install/restore_reply.h"

#include <gtest/gtest.h>

#include "service/dispatcher.h"

namespace kestrune::service {
namespace {

TEST(RestoreReply, OnlyAStoppingServiceCountsAsNotReached) {
  struct Case {
    std::string reply;
    ServiceRestore outcome;
    std::string message;
  } cases[] = {
      {"ok\n", ServiceRestore::Done, ""},
      {"error could not restore {x},7\n", ServiceRestore::Failed, "could not restore {x},7"},
      {"error " + std::string(kMessageStopping) + "\n", ServiceRestore::NotReached,
       kMessageStopping},
      {"ok", ServiceRestore::Failed, "ok"},
      {"", ServiceRestore::Failed, ""},
  };
  for (const Case& c : cases) {
    std::string message;
    EXPECT_EQ(readRestoreReply(c.reply, message), c.outcome) << c.reply;
    EXPECT_EQ(message, c.message) << c.reply;
  }
}

}  // namespace
}  // namespace kestrune::service
