#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/command_parse.h"
#include "service/command_tokens.h"

namespace kestrune::service {
namespace {

std::vector<std::string> words(std::string_view request) {
  std::vector<std::string> out;
  for (std::string_view w : splitCommandWords(stripLineEnds(request))) out.emplace_back(w);
  return out;
}

TEST(CommandWords, SplitOnlyAtSpacesAndStripLineEnds) {
  struct Case {
    std::string request;
    std::vector<std::string> expected;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"\r\n\n\r", {}},
      {"status", {"status"}},
      {"status\r\n", {"status"}},
      {"status\n\r\n\r", {"status"}},
      {"  set   wanted  0  ", {"set", "wanted", "0"}},
      {"set\twanted 0", {"set\twanted", "0"}},
      {"\tstatus\t", {"\tstatus\t"}},
      {"a\rb\n", {"a\rb"}},                  // only trailing line ends go
      {"status \r\n ", {"status", "\r\n"}},  // a space after them keeps them
      {std::string("a\0b c", 5), {std::string("a\0b", 3), "c"}},
  };
  for (const Case& c : cases) EXPECT_EQ(words(c.request), c.expected) << c.request;
}

Command parse(std::string_view request) {
  return parseCommand(splitCommandWords(stripLineEnds(request)));
}

TEST(CommandWords, AcceptedFormsCarryTheirArguments) {
  struct Case {
    const char* request;
    CommandKind kind;
    std::uint32_t number;
    const char* text;
    bool full;
    bool force;
  } cases[] = {
      {"status extra words", CommandKind::Status, 0, "", false, false},
      {"endpoints x", CommandKind::Endpoints, 0, "", false, false},
      {"set wanted 0", CommandKind::SetWanted, 0, "", false, false},
      {" set  wanted 1 ", CommandKind::SetWanted, 1, "", false, false},
      {"set compare 1", CommandKind::SetCompare, 1, "", false, false},
      {"set compare 0", CommandKind::SetCompare, 0, "", false, false},
      {"set intensity 1", CommandKind::SetIntensity, 1, "", false, false},
      {"set intensity 3", CommandKind::SetIntensity, 3, "", false, false},
      {"set mode auto", CommandKind::SetMode, 1, "", false, false},
      {"set mode always", CommandKind::SetMode, 0, "", false, false},
      {"set games a.exe,b.exe", CommandKind::SetGames, 0, "a.exe,b.exe", false, false},
      {"set games ,", CommandKind::SetGames, 0, ",", false, false},
      {"install {id}", CommandKind::Install, 0, "{id}", false, false},
      {"install {id} full", CommandKind::Install, 0, "{id}", true, false},
      {"install {id} force full", CommandKind::Install, 0, "{id}", true, true},
      {"install {id} x full y force", CommandKind::Install, 0, "{id}", true, true},
      {"install {id} Full FORCE", CommandKind::Install, 0, "{id}", false, false},
      {"install full {id}", CommandKind::Install, 0, "full", false, false},
      {"uninstall", CommandKind::Uninstall, 0, "", false, false},
      {"uninstall now", CommandKind::Uninstall, 0, "", false, false},
      {"debug-crash-install {id}", CommandKind::DebugCrashInstall, 0, "{id}", false, false},
      {"debug-crash-install {id} anything", CommandKind::DebugCrashInstall, 0, "{id}", true, false},
      {"debug-crash-install {id} full force", CommandKind::DebugCrashInstall, 0, "{id}", false,
       false},
  };
  for (const auto& c : cases) {
    const Command got = parse(c.request);
    EXPECT_EQ(got.kind, c.kind) << c.request;
    EXPECT_EQ(got.number, c.number) << c.request;
    EXPECT_EQ(got.text, c.text) << c.request;
    EXPECT_EQ(got.full, c.full) << c.request;
    EXPECT_EQ(got.force, c.force) << c.request;
  }
}

TEST(CommandWords, RejectedFormsAreUnknown) {
  const char* rejected[] = {
      "Status",
      "STATUS",
      "set",
      "set wanted",
      "set wanted 2",
      "set wanted 0 0",
      "set wanted 00",
      "set Wanted 1",
      "set compare 2",
      "set compare",
      "set intensity 0",
      "set intensity 4",
      "set intensity 22",
      "set intensity 1 1",
      "set mode Auto",
      "set mode on",
      "set games",
      "set games a b",
      "set volume 1",
      "install",
      "Install x",
      "debug-crash-install",
      "Uninstall",
      "status\tx",
      "frobnicate",
      "set\twanted 0",
  };
  for (const char* r : rejected) EXPECT_EQ(parse(r).kind, CommandKind::Unknown) << r;
  EXPECT_EQ(parse("  \r\n").kind, CommandKind::Empty);
}

}  // namespace
}  // namespace kestrune::service
