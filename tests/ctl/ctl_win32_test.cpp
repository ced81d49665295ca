#include <gtest/gtest.h>

#include <string>

#include "common/names.h"
#include "ctl/pipe_call_win32.h"
#include "tests/support/child_process_win32.h"
#include "tests/support/pipe_server_win32.h"

namespace kestrune::test {
namespace {

ChildResult runCtl(const std::wstring& args) {
  return runChild(quotedBinPath(L"kestrune_ctl.exe") + (args.empty() ? L"" : L" " + args));
}

struct Case {
  const wchar_t* args;
  std::string reply;
  std::string expectedRequest;
  DWORD expectedExit;
};

TEST(KestruneCtl, SendsArgumentsAndPrintsReplyExactly) {
  const Case cases[] = {
      {L"", "status lines\n", "status", 0},
      {L"\"\"", "ok\n", "status", 0},
      {L"set wanted 0", "ok\n", "set wanted 0", 0},
      {L"\"set  intensity\" 3", "ok\n", "set  intensity 3", 0},
      {L"bogus", "error unknown command. commands: ...\n", "bogus", 1},
      {L"x", "error", "x", 1},
      {L"x", "erro", "x", 0},
      {L"endpoints", "", "endpoints", 0},
      {L"status", "a\r\nb\n\n", "status", 0},
      // Sent in UTF-8 whatever the ANSI code page holds.
      {L"set games \u00e9t\u00e9.exe,\u30b2\u30fc\u30e0.exe", "ok\n",
       "set games \xc3\xa9t\xc3\xa9.exe,\xe3\x82\xb2\xe3\x83\xbc\xe3\x83\xa0.exe", 0},
  };
  for (const Case& c : cases) {
    PipeServerFixture server(kPipeNameW, [&](const std::string&) { return c.reply; });
    ChildResult r = runCtl(c.args);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, c.expectedExit) << c.reply;
    EXPECT_EQ(r.out, c.reply);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], c.expectedRequest);
  }
}

TEST(KestruneCtl, ReplyLongerThanBufferExitsWithTwo) {
  const std::string fits(kMaxReplyBytes, 'x');
  {
    PipeServerFixture server(kPipeNameW, [&](const std::string&) { return fits; });
    ChildResult r = runCtl(L"status");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out.size(), fits.size());
  }
  PipeServerFixture server(kPipeNameW, [&](const std::string&) { return fits + "y"; });
  ChildResult r = runCtl(L"status");
  EXPECT_EQ(r.exitCode, 2u);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Kestrune service not reachable (error 234)\n");
}

TEST(KestruneCtl, WaitsForAServerThatAppearsLater) {
  HANDLE go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread late([&] {
    ::Sleep(700);
    PipeServerFixture server(kPipeNameW, [](const std::string&) { return std::string("ok\n"); });
    ::WaitForSingleObject(go, 30000);
  });
  ChildResult r = runCtl(L"set compare 1");
  ::SetEvent(go);
  late.join();
  ::CloseHandle(go);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.out, "ok\n");
}

TEST(KestruneCtl, RetryLoopGivesUpAfterTheReachDeadline) {
  const ULONGLONG start = ::GetTickCount64();
  ctl::PipeCallResult r = ctl::callPipe("status", "\\\\.\\pipe\\KestruneNobodyHere", 300);
  const ULONGLONG elapsed = ::GetTickCount64() - start;
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 5000u);
}

// A service that takes 1.5 s to answer: only a call bound to its deadline
// (the app's UI thread) gives up on it; the others wait for the reply.
TEST(KestruneCtl, OnlyACallBoundToItsDeadlineGivesUpOnASlowReply) {
  const wchar_t* pipeW = L"\\\\.\\pipe\\KestruneSlow";
  const char* pipeA = "\\\\.\\pipe\\KestruneSlow";
  PipeServerFixture server(pipeW, [](const std::string&) {
    ::Sleep(1500);
    return std::string("ok\n");
  });
  struct Case {
    ReplyWait replyWait;
    bool ok;
  };
  for (const Case c :
       {Case{ReplyWait::kWithinDeadline, false}, Case{ReplyWait::kUntilAnswered, true}}) {
    const ULONGLONG start = ::GetTickCount64();
    const PipeCallResult r = callPipe("status", pipeA, 600, c.replyWait);
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_EQ(r.ok, c.ok) << r.error;
    if (c.ok) {
      EXPECT_EQ(r.reply, "ok\n");
      EXPECT_GE(elapsed, 1400u);
    } else {
      EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_TIMEOUT));
      EXPECT_LT(elapsed, 1400u);
      ::Sleep(1500);  // the stand-in serves one connection at a time
    }
  }
}

TEST(KestruneCtl, NoServiceAtAllReportsErrorTwoAfterThirtySeconds) {
  const ULONGLONG start = ::GetTickCount64();
  ChildResult r = runCtl(L"status");
  const ULONGLONG elapsed = ::GetTickCount64() - start;
  EXPECT_EQ(r.exitCode, 2u);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Kestrune service not reachable (error 2)\n");
  EXPECT_GE(elapsed, 29000u);
}

}  // namespace
}  // namespace kestrune::test
