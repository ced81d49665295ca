#include "app/bridge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/page_address.h"

namespace kestrune::app {
namespace {

// Records every action as one line, in order.
class RecordingActions final : public BridgeActions {
 public:
  std::string pipeReply = "ok\n";
  Prefs prefs;
  bool repairStarts = true;
  std::vector<std::string> log;

  std::string callPipe(const std::string& command, std::uint32_t timeoutMs) override {
    log.push_back("pipe " + command + " " + std::to_string(timeoutMs));
    return pipeReply;
  }
  void requestStatusRefresh() override { log.push_back("refresh"); }
  void windowCommand(WindowCommand command) override {
    log.push_back("win " + std::to_string(static_cast<unsigned>(command)));
  }
  Prefs readPrefs() override {
    log.push_back("prefs");
    return prefs;
  }
  void writePref(PrefName name, bool value) override {
    log.push_back("pref " + std::to_string(static_cast<int>(name)) + " " + std::to_string(value));
  }
  void openAddress(std::string_view address) override {
    log.push_back("open " + std::string(address));
  }
  bool runRepair() override {
    log.push_back("repair");
    return repairStarts;
  }
  void postReply(std::string json) override { log.push_back(json); }
};

std::vector<std::string> run(std::string_view request, RecordingActions actions = {}) {
  processBridgeRequest(request, actions);
  return actions.log;
}

using Log = std::vector<std::string>;

TEST(Bridge, SplitsAtTheFirstTwoTabs) {
  const auto parts = splitBridgeRequest("12\tpipe\tset\tgames a.exe");
  ASSERT_TRUE(parts.has_value());
  EXPECT_EQ(parts->id, "12");
  EXPECT_EQ(parts->kind, "pipe");
  EXPECT_EQ(parts->argument, "set\tgames a.exe");
  const auto empty = splitBridgeRequest("\t\t");
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->id, "");
  EXPECT_EQ(empty->kind, "");
  EXPECT_EQ(empty->argument, "");
  for (const char* malformed : {"", "1", "1\tpipe", "1 pipe status", "\t"}) {
    EXPECT_FALSE(splitBridgeRequest(malformed).has_value()) << malformed;
    EXPECT_EQ(run(malformed), Log{}) << malformed;
  }
}

TEST(Bridge, PipeRequestsUseTheirTimeoutAndRefreshOnlyAfterChanges) {
  struct Case {
    const char* request;
    const char* reply;
    Log log;
  };
  const Case cases[] = {
      {"1\tpipe\tstatus",
       "wanted=1\n",
       {"pipe status 1500", "{\"id\":1,\"ok\":true,\"text\":\"wanted=1\\n\"}"}},
      {"2\tpipe\tset wanted 0",
       "ok\n",
       {"pipe set wanted 0 1500", "refresh", "{\"id\":2,\"ok\":true,\"text\":\"ok\\n\"}"}},
      {"3\tpipe\tinstall {0.0.0.00000000}.{abc} full",
       "ok\n",
       {"pipe install {0.0.0.00000000}.{abc} full 30000", "refresh",
        "{\"id\":3,\"ok\":true,\"text\":\"ok\\n\"}"}},
      {"4\tpipe\tuninstall",
       "ok\n",
       {"pipe uninstall 30000", "refresh", "{\"id\":4,\"ok\":true,\"text\":\"ok\\n\"}"}},
      {"5\tpipe\tuninstall now",
       "ok\n",
       {"pipe uninstall now 1500", "refresh", "{\"id\":5,\"ok\":true,\"text\":\"ok\\n\"}"}},
      {"6\tpipe\tendpoints", "", {"pipe endpoints 1500", "{\"id\":6,\"ok\":true,\"text\":\"\"}"}},
      {"7\tpipe\tendpoints x",
       "",
       {"pipe endpoints x 1500", "refresh", "{\"id\":7,\"ok\":true,\"text\":\"\"}"}},
      {"8\tpipe\tstatusx", "x", {"pipe statusx 1500", "{\"id\":8,\"ok\":true,\"text\":\"x\"}"}},
      {"9\tpipe\tset wanted 1",
       "error service",
       {"pipe set wanted 1 1500", "{\"id\":9,\"ok\":false,\"text\":\"error service\"}"}},
      {"10\tpipe\t",
       "error empty command\n",
       {"pipe  1500", "{\"id\":10,\"ok\":false,\"text\":\"error empty command\\n\"}"}},
  };
  for (const Case& c : cases) {
    RecordingActions actions;
    actions.pipeReply = c.reply;
    EXPECT_EQ(run(c.request, actions), c.log) << c.request;
  }
}

TEST(Bridge, PreferencesReadAndWrite) {
  RecordingActions defaults;
  EXPECT_EQ(
      run("1\tprefs\t", defaults),
      (Log{"prefs", "{\"id\":1,\"ok\":true,\"text\":\"startup=0\\nminimized=0\\nnotify=1\\n\"}"}));
  RecordingActions set;
  set.prefs = {true, 7, 0};
  EXPECT_EQ(
      run("2\tprefs\tignored", set),
      (Log{"prefs", "{\"id\":2,\"ok\":true,\"text\":\"startup=1\\nminimized=7\\nnotify=0\\n\"}"}));
  EXPECT_EQ(run("3\tpref\tnotify 0"), (Log{"pref 2 0", "{\"id\":3,\"ok\":true,\"text\":\"\"}"}));
  EXPECT_EQ(run("4\tpref\tsound 1"), (Log{"{\"id\":4,\"ok\":false,\"text\":\"\"}"}));
}

TEST(Bridge, PrefArgumentRule) {
  struct Case {
    const char* argument;
    std::optional<PrefName> name;
    bool value;
  };
  const Case cases[] = {
      {"notify 0", PrefName::Notify, false},
      {"notify 1", PrefName::Notify, true},
      {"notify", PrefName::Notify, false},
      {"startup 1", PrefName::Startup, true},
      {"minimized  x1", PrefName::Minimized, true},
      {"minimized", PrefName::Minimized, false},
      {"Notify 1", std::nullopt, true},
      {"sound 1", std::nullopt, true},
      {" 1", std::nullopt, false},
      {"", std::nullopt, false},
  };
  for (const Case& c : cases) {
    const PrefUpdate update = parsePrefArgument(c.argument);
    EXPECT_EQ(update.name, c.name) << c.argument;
    EXPECT_EQ(update.value, c.value) << c.argument;
  }
}

TEST(Bridge, OpenRepairWindowAndUnknownKinds) {
  struct Case {
    const char* request;
    bool repairStarts;
    Log log;
  };
  const Case cases[] = {
      {"1\topen\thttps://example.org/a",
       true,
       {"open https://example.org/a", "{\"id\":1,\"ok\":true,\"text\":\"\"}"}},
      {"2\topen\tmailto:x@example.org",
       true,
       {"open mailto:x@example.org", "{\"id\":2,\"ok\":true,\"text\":\"\"}"}},
      {"3\topen\thttp://example.org/", true, {"{\"id\":3,\"ok\":false,\"text\":\"\"}"}},
      {"4\topen\tHTTPS://example.org/", true, {"{\"id\":4,\"ok\":false,\"text\":\"\"}"}},
      {"5\trepair\t", true, {"repair", "{\"id\":5,\"ok\":true,\"text\":\"\"}"}},
      {"6\trepair\tx", false, {"repair", "{\"id\":6,\"ok\":false,\"text\":\"cancelled\"}"}},
      {"7\twin\tmin", true, {"win 1", "{\"id\":7,\"ok\":true,\"text\":\"\"}"}},
      {"8\twin\thide", true, {"win 2", "{\"id\":8,\"ok\":true,\"text\":\"\"}"}},
      {"9\twin\t", true, {"win 3", "{\"id\":9,\"ok\":true,\"text\":\"\"}"}},
      {"10\twin\tMin", true, {"win 3", "{\"id\":10,\"ok\":true,\"text\":\"\"}"}},
      {"11\tPipe\tstatus", true, {"{\"id\":11,\"ok\":false,\"text\":\"\"}"}},
      {"x\t\t", true, {"{\"id\":x,\"ok\":false,\"text\":\"\"}"}},
  };
  for (const Case& c : cases) {
    RecordingActions actions;
    actions.repairStarts = c.repairStarts;
    EXPECT_EQ(run(c.request, actions), c.log) << c.request;
  }
}

TEST(Bridge, OnlyPageDocumentsTalkAndOnlyHttpsLeavesForTheBrowser) {
  EXPECT_TRUE(isPageAddress(kStartPage));
  EXPECT_TRUE(isPageAddress("https://kestrune.example/sub/page.html?x=1"));
  for (const char* foreign : {"https://kestrune.example.evil.test/", "https://kestrune.example",
                              "http://kestrune.example/",
                              "https://evil.test/https://kestrune.example/", "about:blank", ""}) {
    EXPECT_FALSE(isPageAddress(foreign)) << foreign;
  }
  EXPECT_TRUE(opensInBrowser("https://example.org/"));
  EXPECT_FALSE(opensInBrowser("http://example.org/"));
  EXPECT_FALSE(opensInBrowser("mailto:x@example.org"));
}

}  // namespace
}  // namespace kestrune::app
