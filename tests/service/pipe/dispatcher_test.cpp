#include "service/dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune::service {
namespace {

// Records every call and checks that all work happens under the lock.
class FakeHost : public CommandHost {
 public:
  void lock() override {
    EXPECT_FALSE(locked);
    locked = true;
    ++lockCount;
  }
  void unlock() override {
    EXPECT_TRUE(locked);
    locked = false;
  }
  StatusInputs readStatus() override {
    note("status");
    return status;
  }
  std::string listEndpoints() override {
    note("endpoints");
    return listing;
  }
  bool writeNumber(NumberSetting s, std::uint32_t v) override {
    const char* names[] = {"Wanted", "Intensity", "Mode"};
    note(std::string("write ") + names[static_cast<int>(s)] + "=" + std::to_string(v));
    return writesSucceed;
  }
  bool writeGames(std::string_view text) override {
    note("games " + std::string(text));
    return writesSucceed;
  }
  void setCompare(bool on) override { note(on ? "compare on" : "compare off"); }
  void runEffectSwitch() override { note("switch"); }
  bool debugCommandsAllowed() override {
    note("debug?");
    return debug;
  }
  bool attach(std::string_view id, bool full, bool force, bool crash,
              std::string& message) override {
    note("attach " + std::string(id) + (full ? " full" : "") + (force ? " force" : "") +
         (crash ? " crash" : ""));
    message = failMessage;
    return failMessage.empty();
  }
  bool restore(std::string& message) override {
    note("restore");
    message = failMessage;
    return failMessage.empty();
  }

  void note(const std::string& call) {
    EXPECT_TRUE(locked) << call;
    calls.push_back(call);
  }

  bool locked = false;
  int lockCount = 0;
  bool writesSucceed = true;
  bool debug = false;
  std::string failMessage;
  std::string listing = "e1\te2\n";
  StatusInputs status;
  std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

TEST(Dispatcher, EachCommandDoesItsWorkUnderTheLockAndRepliesExactly) {
  struct Case {
    const char* request;
    const char* reply;
    Calls calls;
  } cases[] = {
      {"endpoints", "e1\te2\n", {"endpoints"}},
      {"set wanted 0\r\n", "ok\n", {"write Wanted=0", "switch"}},
      {"set wanted 1", "ok\n", {"write Wanted=1", "switch"}},
      {"set compare 1", "ok\n", {"compare on", "switch"}},
      {"set compare 0", "ok\n", {"compare off", "switch"}},
      {"set intensity 2", "ok\n", {"write Intensity=2"}},
      {"set mode always", "ok\n", {"write Mode=0", "switch"}},
      {"set mode auto", "ok\n", {"write Mode=1", "switch"}},
      {"set games a.exe,b.exe", "ok\n", {"games a.exe,b.exe"}},
      {"install {E} force full", "ok\n", {"attach {E} full force"}},
      {"uninstall", "ok\n", {"restore"}},
      {"debug-crash-install {E} x", kReplyUnknown, {"debug?"}},
      {"set wanted 2", kReplyUnknown, {}},
      {"install", kReplyUnknown, {}},
  };
  for (const Case& c : cases) {
    FakeHost host;
    EXPECT_EQ(dispatchRequest(c.request, host), c.reply) << c.request;
    EXPECT_EQ(host.calls, c.calls) << c.request;
    EXPECT_EQ(host.lockCount, 1) << c.request;
    EXPECT_FALSE(host.locked);
  }
}

TEST(Dispatcher, EmptyRequestNeverTakesTheLock) {
  for (const char* request : {"", "   ", "\r\n", " \n"}) {
    FakeHost host;
    EXPECT_EQ(dispatchRequest(request, host), "error empty command\n");
    EXPECT_EQ(host.lockCount, 0);
  }
}

TEST(Dispatcher, FailuresBecomeErrorReplies) {
  struct Case {
    const char* request;
    const char* reply;
  } cases[] = {
      {"set wanted 1", "error registry\n"},
      {"set intensity 1", "error registry\n"},
      {"set mode auto", "error registry\n"},
      {"set games x.exe", "error registry\n"},
      {"set compare 1", "ok\n"},  // nothing to fail
      {"install {E}", "error no such render endpoint\n"},
      {"uninstall", "error no such render endpoint\n"},
  };
  for (const Case& c : cases) {
    FakeHost host;
    host.writesSucceed = false;
    host.failMessage = "no such render endpoint";
    EXPECT_EQ(dispatchRequest(c.request, host), c.reply) << c.request;
  }
  FakeHost host;
  host.writesSucceed = false;
  dispatchRequest("set wanted 0", host);
  EXPECT_EQ(host.calls, (Calls{"write Wanted=0", "switch"})) << "the switch still runs";
}

TEST(Dispatcher, CrashInstallOnlyWithDebugAndNeverForced) {
  struct Case {
    const char* request;
    const char* call;
  } cases[] = {
      {"debug-crash-install {E}", "attach {E} crash"},
      {"debug-crash-install {E} no", "attach {E} full crash"},
      {"debug-crash-install {E} force", "attach {E} full crash"},
      {"debug-crash-install {E} full force", "attach {E} crash"},
  };
  for (const Case& c : cases) {
    FakeHost host;
    host.debug = true;
    EXPECT_EQ(dispatchRequest(c.request, host), "ok\n");
    EXPECT_EQ(host.calls, (Calls{"debug?", c.call})) << c.request;
  }
}

TEST(Dispatcher, StatusFormatsWhatTheHostReads) {
  FakeHost host;
  host.status.wanted = 0;
  host.status.mode = 0;
  host.status.gameRunning = true;
  host.status.enabled = 1;
  host.status.intensity = 1;
  host.status.endpoint = "{0.0.0.00000000}.{abc}";
  host.status.phase = 2;
  host.status.full = 1;
  host.status.drift = true;
  host.status.games = "a.exe,b.exe";
  host.status.nowMs = 1000;
  host.status.compareDeadlineMs = 1001;
  EXPECT_EQ(dispatchRequest("status ignored words\n", host),
            "wanted=0\nmode=always\ngame_running=1\nprocessing=1\nintensity=1\n"
            "endpoint={0.0.0.00000000}.{abc}\ninstall_phase=2\nfull_fx=1\ndrift=1\n"
            "games=a.exe,b.exe\ncomparing=1\n");
}

TEST(StatusReply, AbsentValuesTakeEachLinesDefault) {
  StatusInputs in;
  EXPECT_EQ(formatStatusReply(in),
            "wanted=1\nmode=auto\ngame_running=0\nprocessing=0\nintensity=3\nendpoint=\n"
            "install_phase=0\nfull_fx=0\ndrift=0\ngames=TslGame.exe\ncomparing=0\n");
}

TEST(StatusReply, ModeAndComparingEdges) {
  struct Case {
    std::optional<std::uint32_t> mode;
    std::uint64_t now, deadline;
    const char* modeLine;
    const char* comparingLine;
  } cases[] = {
      {0, 5, 5, "mode=always\n", "comparing=0\n"},
      {1, 4, 5, "mode=auto\n", "comparing=1\n"},
      {2, 6, 5, "mode=auto\n", "comparing=0\n"},
      {4294967295u, 0, 0, "mode=auto\n", "comparing=0\n"},
  };
  for (const Case& c : cases) {
    StatusInputs in;
    in.mode = c.mode;
    in.nowMs = c.now;
    in.compareDeadlineMs = c.deadline;
    in.wanted = 4294967295u;
    const std::string reply = formatStatusReply(in);
    EXPECT_NE(reply.find(c.modeLine), std::string::npos) << reply;
    EXPECT_NE(reply.find(c.comparingLine), std::string::npos) << reply;
    EXPECT_EQ(reply.rfind("wanted=4294967295\n", 0), 0u);
  }
}

}  // namespace
}  // namespace kestrune::service
