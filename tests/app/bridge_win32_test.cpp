// The page bridge end to end through the fake web view: every kind of
// request, where replies and events go, and which documents may talk.
#include <gtest/gtest.h>

#include <string>

#include "common/utf8_win32.h"
#include "tests/app/app_test_win32.h"
#include "tests/support/child_process_win32.h"

namespace kestrune::test {
namespace {

// The browser, the mail program and the elevated installer are the
// recording helper: it appends each command line to a file.
class BridgeTest : public AppTest {
 protected:
  BridgeTest() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    launches_ = std::wstring(temp) + L"kestrune_launches.txt";
    ::DeleteFileW(launches_.c_str());
    ::SetEnvironmentVariableW(L"KESTRUNE_RECORD_LAUNCH", launches_.c_str());
    const std::wstring command = L"\"" + binDir() + L"record_launch.exe\" \"%1\"";
    for (const wchar_t* scheme : {L"https", L"mailto"}) {
      setString(HKEY_LOCAL_MACHINE,
                std::wstring(L"Software\\Classes\\") + scheme + L"\\shell\\open\\command", L"",
                command);
    }
  }
  ~BridgeTest() override {
    ::SetEnvironmentVariableW(L"KESTRUNE_RECORD_LAUNCH", nullptr);
    ::DeleteFileW(launches_.c_str());
  }

  void startApp() {
    ASSERT_TRUE(app_.put(L"record_launch.exe", L"kestrune_service.exe"));
    ASSERT_TRUE(app_.start());
    window_ = app_.waitForWindow();
    ASSERT_TRUE(window_);
    ASSERT_TRUE(pageLoaded(fake_));
  }

  // Sends a request as the page and returns its reply ("" when none came).
  std::string request(const std::string& text, DWORD timeoutMs = 10000) {
    fake_.postString(kPageSource, text);
    const std::string prefix = "{\"id\":" + text.substr(0, text.find('\t')) + ",";
    std::string reply;
    eventually(
        [&] {
          for (const std::string& m : fake_.pageMessages()) {
            if (m.starts_with(prefix)) reply = m;
          }
          return !reply.empty();
        },
        timeoutMs);
    return reply;
  }

  std::string launches() const { return fileText(launches_); }

  ScopedRegistryKey https_{HKEY_LOCAL_MACHINE, L"Software\\Classes\\https"};
  ScopedRegistryKey mailto_{HKEY_LOCAL_MACHINE, L"Software\\Classes\\mailto"};
  FakeWebView fake_;
  AppFolder app_;
  HWND window_ = nullptr;
  std::wstring launches_;
};

TEST_F(BridgeTest, EveryKindOfRequestGetsItsReply) {
  service_.setStatus(kStatusActive);
  startApp();
  EXPECT_EQ(request("1\tpipe\tstatus"), "{\"id\":1,\"ok\":true,\"text\":\"" +
                                            std::string("wanted=1\\nmode=auto\\ngame_running=1"
                                                        "\\nprocessing=1\\nintensity=2\\nendpoint="
                                                        "{0.0.0.00000000}.{e1}\\ninstall_phase=2"
                                                        "\\nfull_fx=0\\ndrift=0\\ngames=TslGame."
                                                        "exe\\ncomparing=0\\n") +
                                            "\"}");

  // A changing command: the refresh event is posted before the reply.
  const std::size_t before = fake_.pageMessages().size();
  EXPECT_EQ(request("2\tpipe\tset wanted 0"), "{\"id\":2,\"ok\":true,\"text\":\"ok\\n\"}");
  EXPECT_TRUE(service_.received("set wanted 0"));
  const auto messages = fake_.pageMessages();
  const auto reply =
      std::find(messages.begin(), messages.end(), "{\"id\":2,\"ok\":true,\"text\":\"ok\\n\"}");
  EXPECT_NE(std::find(messages.begin() + before, reply, "{\"event\":\"refresh\"}"), reply);

  EXPECT_EQ(request("3\tprefs\t"),
            "{\"id\":3,\"ok\":true,\"text\":\"startup=0\\nminimized=0\\nnotify=1\\n\"}");
  EXPECT_EQ(request("4\tpref\tnotify 0"), "{\"id\":4,\"ok\":true,\"text\":\"\"}");
  EXPECT_EQ(request("5\tpref\tminimized 1"), "{\"id\":5,\"ok\":true,\"text\":\"\"}");
  EXPECT_EQ(request("6\tpref\tstartup 1"), "{\"id\":6,\"ok\":true,\"text\":\"\"}");
  RegistryValue run;
  ASSERT_TRUE(readValue(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, run));
  EXPECT_EQ(run.type, static_cast<DWORD>(REG_SZ));
  const std::wstring expectedRun = L"\"" + app_.path() + L"\\kestrune_app.exe\" --startup";
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(run.bytes.data())), expectedRun);
  EXPECT_EQ(request("7\tprefs\t"),
            "{\"id\":7,\"ok\":true,\"text\":\"startup=1\\nminimized=1\\nnotify=0\\n\"}");
  EXPECT_EQ(request("8\tpref\tstartup 0"), "{\"id\":8,\"ok\":true,\"text\":\"\"}");
  EXPECT_FALSE(readValue(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, run));

  EXPECT_EQ(request("10\topen\thttps://example.org/a?b=1"),
            "{\"id\":10,\"ok\":true,\"text\":\"\"}");
  EXPECT_EQ(request("11\topen\tmailto:player@example.org"),
            "{\"id\":11,\"ok\":true,\"text\":\"\"}");
  EXPECT_TRUE(eventually([&] {
    return launches().find("\"https://example.org/a?b=1\"") != std::string::npos &&
           launches().find("\"mailto:player@example.org\"") != std::string::npos;
  }));

  EXPECT_EQ(request("13\trepair\t"), "{\"id\":13,\"ok\":true,\"text\":\"\"}");
  EXPECT_NE(launches().find("kestrune_service.exe\" install"), std::string::npos) << launches();
  ASSERT_TRUE(app_.put(L"", L"kestrune_service.exe"));
  EXPECT_EQ(request("14\trepair\t"), "{\"id\":14,\"ok\":false,\"text\":\"cancelled\"}");

  EXPECT_EQ(request("16\twin\tmin"), "{\"id\":16,\"ok\":true,\"text\":\"\"}");
  EXPECT_TRUE(eventually([&] { return ::IsIconic(window_) != FALSE; }));
  EXPECT_EQ(request("17\twin\thide"), "{\"id\":17,\"ok\":true,\"text\":\"\"}");
  EXPECT_TRUE(eventually([&] { return !::IsWindowVisible(window_); }));
  // Closing: the window is gone before the reply could be posted.
  fake_.postString(kPageSource, "18\twin\t");
  DWORD code = 99;
  EXPECT_TRUE(app_.waitForExit(10000, code));
  EXPECT_EQ(code, 0u);
}

TEST_F(BridgeTest, NonStringAndForeignMessagesGetNoReply) {
  startApp();
  EXPECT_EQ(fake_.postValue(kPageSource, "{\"id\":2}"), 1);
  EXPECT_EQ(fake_.postString("https://kestrune.example.evil.test/", "3\tpipe\tset wanted 1"), 1);
  EXPECT_EQ(fake_.postString("https://evil.test/", "4\trepair\t"), 1);
  EXPECT_EQ(request("5\tprefs\t").substr(0, 16), "{\"id\":5,\"ok\":tru");
  ::Sleep(300);
  for (const std::string& m : fake_.pageMessages()) {
    EXPECT_FALSE(m.starts_with("{\"id\":1,") || m.starts_with("{\"id\":2,") ||
                 m.starts_with("{\"id\":3,") || m.starts_with("{\"id\":4,"))
        << m;
  }
  EXPECT_FALSE(service_.received("set wanted 1"));
  EXPECT_EQ(launches(), "");
}

TEST_F(BridgeTest, NavigationStaysOnThePageHostAndHttpsGoesToTheBrowser) {
  startApp();
  struct Case {
    const char* uri;
    LRESULT navigation;  // 1 allowed, 3 cancelled
    bool opened;
  };
  const Case cases[] = {
      {"https://kestrune.example/index.html", 1, false},
      {"https://evil.test/phish", 3, true},
      {"http://kestrune.example/index.html", 3, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fake_.navigate(c.uri), c.navigation) << c.uri;
  }
  // Every new window is handled by the app; only https leaves, for the browser.
  EXPECT_EQ(fake_.requestWindow("https://example.org/help"), 3);
  EXPECT_EQ(fake_.requestWindow("http://example.org/plain"), 3);
  EXPECT_TRUE(eventually([&] {
    return launches().find("\"https://evil.test/phish\"") != std::string::npos &&
           launches().find("\"https://example.org/help\"") != std::string::npos;
  }));
  ::Sleep(300);
  EXPECT_EQ(launches().find("http://"), std::string::npos) << launches();
}

}  // namespace
}  // namespace kestrune::test
