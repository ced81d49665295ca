#include "ctl/command_text.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrune::ctl {
namespace {

std::string build(std::vector<const char*> args) {
  args.insert(args.begin(), "kestrune_ctl");
  return buildCommandText(static_cast<int>(args.size()), args.data());
}

TEST(CommandText, JoinsArgumentsWithSingleSpacesAndDefaultsToStatus) {
  EXPECT_EQ(build({}), "status");
  EXPECT_EQ(build({""}), "status");
  EXPECT_EQ(build({"set", "wanted", "0"}), "set wanted 0");
  // Arguments pass unchanged: inner spaces stay and become token separators at the service.
  EXPECT_EQ(build({"set games", "a.exe,b.exe"}), "set games a.exe,b.exe");
  EXPECT_EQ(build({"", ""}), " ");
  EXPECT_EQ(build({"\xE4\xF6"}), "\xE4\xF6");
}

TEST(CommandText, ExitCodeIsOneOnlyForRepliesStartingWithError) {
  EXPECT_EQ(exitCodeForReply("error unknown command\n"), 1);
  EXPECT_EQ(exitCodeForReply("error"), 1);
  EXPECT_EQ(exitCodeForReply("erro"), 0);
  EXPECT_EQ(exitCodeForReply(""), 0);
  EXPECT_EQ(exitCodeForReply("ok\n"), 0);
  EXPECT_EQ(exitCodeForReply("Error x"), 0);
  EXPECT_EQ(exitCodeForReply(" error"), 0);
}

}  // namespace
}  // namespace kestrune::ctl
