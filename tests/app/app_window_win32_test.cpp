// The program under Wine: start-up, single instance, window commands, hot
// key, tray, the runtime failure box and Quit.
#include <gtest/gtest.h>
#include <windows.h>
// Needs windows.h included before it.
#include <shellapi.h>

#include <memory>
#include <string>

#include "app/app_messages_win32.h"
#include "common/utf8_win32.h"
#include "tests/app/app_test_win32.h"

namespace kestrune::test {
namespace {

using app::kMsgShow;
using app::kMsgStatusRefresh;
using app::kMsgTrayIcon;

constexpr DWORD kNimAdd = 0, kNimModify = 1, kNimDelete = 2;

bool hasEvent(const std::vector<TrayEvent>& events, DWORD message, const std::wstring& tip) {
  for (const TrayEvent& e : events) {
    if (e.message == message && e.tip == tip && (e.flags & NIF_TIP)) return true;
  }
  return false;
}

int countBalloons(const std::vector<TrayEvent>& events, const std::wstring& text) {
  int n = 0;
  for (const TrayEvent& e : events) n += e.flags == NIF_INFO && e.info == text;
  return n;
}

// The message box the app shows, once it is up (visible, so its texts are
// set), with its text; null after `timeoutMs`.
HWND findMessageBox(DWORD processId, std::wstring& text, DWORD timeoutMs = 10000) {
  struct Search {
    DWORD processId;
    HWND found = nullptr;
  } search{processId};
  eventually(
      [&] {
        ::EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
              auto* s = reinterpret_cast<Search*>(data);
              DWORD owner = 0;
              ::GetWindowThreadProcessId(window, &owner);
              wchar_t name[16] = L"";
              ::GetClassNameW(window, name, 16);
              if (owner != s->processId || std::wstring(name) != L"#32770" ||
                  !::IsWindowVisible(window)) {
                return TRUE;
              }
              s->found = window;
              return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  if (search.found) {
    wchar_t buffer[512] = L"";
    ::GetDlgItemTextW(search.found, 0xFFFF, buffer, 512);  // the box's text control
    text = buffer;
  }
  return search.found;
}

TEST_F(AppTest, StartedWithWindowsItStaysInTheTrayUntilTheSecondStartShowsIt) {
  setDword(HKEY_CURRENT_USER, kUserKeyPath, L"StartMinimized", 1);
  FakeWebView fake;
  AppFolder app;
  HWND window = start(app, L"--startup");
  ASSERT_TRUE(window);
  ASSERT_TRUE(pageLoaded(fake));
  EXPECT_TRUE(tray_.waitFor([](const auto& e) { return hasEvent(e, kNimAdd, L"Orvantis"); }));
  EXPECT_TRUE(eventually([&] { return service_.received("status"); }));
  EXPECT_FALSE(::IsWindowVisible(window));

  EXPECT_EQ(app.runAnother(L""), 0u);
  EXPECT_TRUE(eventually([&] { return ::IsWindowVisible(window) != FALSE; }));
  EXPECT_TRUE(fake.waitFor([](const auto& calls) {
    const std::string on = "1";
    return indexOf(calls, "put_IsVisible", &on) >= 0;
  }));
}

TEST_F(AppTest, ResumeOnSwitchesTheEffectOnOnceAndIsReset) {
  setDword(HKEY_CURRENT_USER, kUserKeyPath, L"ResumeOn", 1);
  FakeWebView fake;
  AppFolder app;
  ASSERT_TRUE(app.start());
  EXPECT_TRUE(eventually([&] { return service_.received("set wanted 1"); }));
  RegistryValue resume;
  ASSERT_TRUE(readValue(HKEY_CURRENT_USER, kUserKeyPath, L"ResumeOn", resume));
  EXPECT_EQ(resume.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(resume.bytes, std::vector<BYTE>({0, 0, 0, 0}));
  EXPECT_EQ(service_.commands(), std::vector<std::string>{"set wanted 1"});
}

TEST_F(AppTest, CloseHidesTheWindowAndCommandThreeEndsTheApp) {
  FakeWebView fake;
  AppFolder app;
  HWND window = start(app);
  ASSERT_TRUE(window);
  ASSERT_TRUE(pageLoaded(fake));
  RECT r{};
  ::GetWindowRect(window, &r);
  EXPECT_EQ(r.right - r.left, 520);
  EXPECT_EQ(r.bottom - r.top, 760);
  for (WPARAM hide : {WPARAM{0}, WPARAM{2}}) {
    if (hide == 0) {
      ::PostMessageW(window, WM_CLOSE, 0, 0);
    } else {
      ::PostMessageW(window, WM_COMMAND, hide, 0);
    }
    EXPECT_TRUE(eventually([&] { return !::IsWindowVisible(window); }));
    EXPECT_TRUE(fake.waitFor([](const auto& calls) {
      return !callsNamed(calls, "put_IsVisible").empty() &&
             callsNamed(calls, "put_IsVisible").back()[1] == "0";
    }));
    // Ignored, and survived: an unknown command, one that only ends in 3,
    // and private messages without their payload.
    for (WPARAM id : {WPARAM{99}, (WPARAM{1} << 32) | 3}) ::PostMessageW(window, WM_COMMAND, id, 0);
    for (UINT id : {app::kMsgPageJson, app::kMsgTrayUpdate}) ::PostMessageW(window, id, 0, 0);
    const std::size_t before = fake.pageMessages().size();
    ::PostMessageW(window, kMsgShow, 0, 0);
    EXPECT_TRUE(eventually([&] { return ::IsWindowVisible(window) != FALSE; }));
    EXPECT_TRUE(fake.waitFor([&](const auto&) {
      const auto messages = fake.pageMessages();
      return std::find(messages.begin() + before, messages.end(), "{\"event\":\"refresh\"}") !=
             messages.end();
    }));
  }
  ::PostMessageW(window, WM_COMMAND, 3, 0);
  DWORD code = 99;
  ASSERT_TRUE(app.waitForExit(10000, code));
  EXPECT_EQ(code, 0u);
  EXPECT_GE(indexOf(fake.calls(), "Close"), 0);
  EXPECT_TRUE(
      tray_.waitFor([](const auto& e) { return !e.empty() && e.back().message == kNimDelete; }));
  EXPECT_EQ(service_.commands(), std::vector<std::string>{});
}

TEST_F(AppTest, HotKeyTogglesThroughTheServiceAndAnnouncesTheNewState) {
  service_.setStatus(kStatusActive);
  FakeWebView fake;
  AppFolder app;
  HWND window = start(app);
  ASSERT_TRUE(window);
  ::PostMessageW(window, WM_HOTKEY, 2, 0);  // another id: ignored
  ::PostMessageW(window, WM_HOTKEY, 1, MAKELPARAM(MOD_CONTROL | MOD_ALT, 'F'));
  ASSERT_TRUE(eventually([&] { return service_.received("set wanted 0"); }));
  EXPECT_TRUE(tray_.waitFor([](const auto& e) { return countBalloons(e, L"Off") == 1; }));
  for (const TrayEvent& e : tray_.events()) {
    if (e.flags != NIF_INFO) continue;
    EXPECT_EQ(e.infoTitle, L"Orvantis");
    EXPECT_EQ(e.infoFlags, static_cast<DWORD>(NIIF_NOSOUND));
  }
  // The request right before the switch was the status it was decided on.
  const auto requests = service_.requests();
  const auto off = std::find(requests.begin(), requests.end(), "set wanted 0");
  EXPECT_EQ(*(off - 1), "status");

  service_.setStatus(kStatusOff);
  setDword(HKEY_CURRENT_USER, kUserKeyPath, L"Notify", 0);
  ::PostMessageW(window, WM_HOTKEY, 1, 0);
  ASSERT_TRUE(eventually([&] { return service_.received("set wanted 1"); }));
  ::Sleep(500);  // the announcement follows the switch at once
  EXPECT_EQ(countBalloons(tray_.events(), L"On"), 0);
  EXPECT_EQ(service_.commands(), (std::vector<std::string>{"set wanted 0", "set wanted 1"}));
}

TEST_F(AppTest, TrayIconAndTooltipFollowTheStatus) {
  FakeWebView fake;
  AppFolder app;
  HWND window = start(app);
  ASSERT_TRUE(window);

  HMODULE exe = ::LoadLibraryExW((app.path() + L"\\kestrune_app.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_TRUE(exe);
  const int small = ::GetSystemMetrics(SM_CXSMICON);
  std::vector<COLORREF> stateColours;  // icon resources 2..5
  for (int id = 2; id <= 5; ++id) stateColours.push_back(iconResourceColour(exe, id, small));
  ::FreeLibrary(exe);

  ASSERT_TRUE(tray_.waitFor([](const auto& e) { return hasEvent(e, kNimAdd, L"Orvantis"); }));
  const TrayEvent first = tray_.events().front();
  EXPECT_EQ(first.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(first.callbackMessage, kMsgTrayIcon);
  EXPECT_EQ(first.id, 1u);
  EXPECT_EQ(first.iconWidth, small);
  EXPECT_EQ(nearestColour(first.iconColour, stateColours), 1u);  // near-white, resource 3

  struct Case {
    std::string status;
    std::wstring tip;
    std::size_t state;
  };
  const Case cases[] = {
      {kStatusActive, L"Orvantis: active (Normal)", 0},
      {"wanted=1\nprocessing=0\nendpoint=e\n", L"Orvantis: on, waiting for PUBG", 1},
      {kStatusOff, L"Orvantis: off", 2},
      {"error unknown command.\n", L"Orvantis: needs a repair", 3},
  };
  for (const Case& c : cases) {
    service_.setStatus(c.status);
    ::PostMessageW(window, kMsgStatusRefresh, 0, 0);
    ASSERT_TRUE(tray_.waitFor([&](const auto& e) { return hasEvent(e, kNimModify, c.tip); }))
        << wideToUtf8(c.tip);
    for (const TrayEvent& e : tray_.events()) {
      if (e.message != kNimModify || e.tip != c.tip) continue;
      EXPECT_EQ(e.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
      EXPECT_EQ(nearestColour(e.iconColour, stateColours), c.state) << wideToUtf8(c.tip);
    }
  }
  // A restarted shell gets the icon again with picture, tooltip and
  // callback, even when a balloon was the last thing shown.
  ::PostMessageW(window, kMsgStatusRefresh, 1, 1);
  ASSERT_TRUE(tray_.waitFor([](const auto& e) { return countBalloons(e, L"On") == 1; }));
  tray_.broadcastTaskbarCreated();
  ASSERT_TRUE(tray_.waitFor(
      [](const auto& e) { return hasEvent(e, kNimAdd, L"Orvantis: needs a repair"); }));
  const auto events = tray_.events();
  for (const TrayEvent& e : events) {
    if (e.message != kNimAdd) continue;
    EXPECT_EQ(e.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(e.callbackMessage, kMsgTrayIcon);
  }
}

TEST_F(AppTest, WithoutARuntimeTheBoxExplainsAndTheAppEnds) {
  struct Case {
    const wchar_t* mode;
    bool withLoader;
    std::wstring text;
  };
  const std::wstring runtime =
      L"Orvantis needs the Microsoft Edge WebView2 Runtime (part of Windows 11).";
  for (const Case& c : {Case{L"sync-fail", true, runtime}, Case{L"environment-fail", true, runtime},
                        Case{L"", false, L"WebView2Loader.dll"}}) {
    FakeWebView fake(c.mode);
    AppFolder app(c.withLoader);
    ASSERT_TRUE(app.start());
    std::wstring text;
    HWND box = findMessageBox(app.processId(), text);
    ASSERT_TRUE(box) << wideToUtf8(c.mode);
    EXPECT_NE(text.find(c.text), std::wstring::npos) << wideToUtf8(text);
    wchar_t title[64] = L"";
    ::GetWindowTextW(box, title, 64);
    EXPECT_EQ(std::wstring(title), L"Orvantis");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    DWORD code = 99;
    ASSERT_TRUE(app.waitForExit(10000, code)) << wideToUtf8(c.mode);
    EXPECT_EQ(code, 0u);
  }
}

TEST_F(AppTest, AFailedControllerLeavesAnEmptyWindowAndTheTrayWorking) {
  service_.setStatus(kStatusActive);
  FakeWebView fake(L"controller-fail");
  AppFolder app;
  HWND window = start(app);
  ASSERT_TRUE(window);
  EXPECT_TRUE(tray_.waitFor(
      [](const auto& e) { return hasEvent(e, kNimModify, L"Orvantis: active (Normal)"); }));
  EXPECT_TRUE(fake.waitFor(
      [](const auto& calls) { return indexOf(calls, "CreateCoreWebView2Controller") >= 0; }));
  std::wstring text;
  EXPECT_FALSE(findMessageBox(app.processId(), text, 0));
  EXPECT_TRUE(::IsWindowVisible(window));
  EXPECT_EQ(indexOf(fake.calls(), "Navigate"), -1);
}

// The menu window the app tracks, once it is up.
HWND findMenu(DWORD processId) {
  HWND found = nullptr;
  eventually([&] {
    found = nullptr;
    while ((found = ::FindWindowExW(nullptr, found, L"#32768", nullptr))) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(found, &owner);
      if (owner == processId && ::IsWindowVisible(found)) return true;
    }
    return false;
  });
  return found;
}

// Opens the tray menu and presses `keys` in it.
void useTrayMenu(HWND window, DWORD processId, std::initializer_list<WPARAM> keys) {
  ::PostMessageW(window, kMsgTrayIcon, 1, WM_RBUTTONUP);
  HWND menu = findMenu(processId);
  ASSERT_TRUE(menu);
  ::Sleep(100);  // keys that arrive while the menu is still being set up can be lost
  for (WPARAM key : keys) ::PostMessageW(menu, WM_KEYDOWN, key, 0);
  EXPECT_TRUE(eventually([&] { return !::IsWindowVisible(menu); }));
}

TEST_F(AppTest, TrayMenuItemsReachTheirActions) {
  service_.setStatus(kStatusActive);
  FakeWebView fake;
  AppFolder app;
  HWND window = start(app);
  ASSERT_TRUE(window);
  // Minimised rather than hidden: under Wine a menu whose owner cannot take
  // the foreground may close before a key reaches it.
  ::PostMessageW(window, WM_COMMAND, 1, 0);
  ASSERT_TRUE(eventually([&] { return ::IsIconic(window) != FALSE; }));
  useTrayMenu(window, app.processId(), {VK_DOWN, VK_RETURN});  // Open Orvantis
  EXPECT_TRUE(eventually([&] { return !::IsIconic(window); }));
  useTrayMenu(window, app.processId(), {VK_DOWN, VK_DOWN, VK_RETURN});  // On
  EXPECT_TRUE(eventually([&] { return service_.received("set wanted 0"); }));
  useTrayMenu(window, app.processId(), {VK_UP, VK_UP, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN});
  EXPECT_TRUE(eventually([&] { return service_.received("set intensity 3"); }));
  useTrayMenu(window, app.processId(), {VK_ESCAPE});
  ::Sleep(300);
  EXPECT_EQ(service_.commands(), (std::vector<std::string>{"set wanted 0", "set intensity 3"}));
  // Left click shows the window.
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(eventually([&] { return !::IsWindowVisible(window); }));
  ::PostMessageW(window, kMsgTrayIcon, 1, WM_LBUTTONUP);
  EXPECT_TRUE(eventually([&] { return ::IsWindowVisible(window) != FALSE; }));
}

TEST_F(AppTest, QuitSwitchesOffWhenOnAndRemembersResumeOnOnlyAfterOk) {
  struct Case {
    const char* status;
    const char* reply;
    bool switchesOff;
    bool remembers;
  };
  for (const Case c : {Case{kStatusActive, "ok\n", true, true},
                       Case{kStatusActive, "error registry\n", true, false},
                       Case{kStatusOff, "ok\n", false, false}}) {
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserKeyPath, L"ResumeOn");
    service_.setStatus(c.status);
    service_.setCommandReply(c.reply);
    const std::size_t before = service_.commands().size();
    FakeWebView fake;
    AppFolder app;
    HWND window = start(app);
    ASSERT_TRUE(window);
    // Up from no selection reaches the last item, "Quit Orvantis".
    useTrayMenu(window, app.processId(), {VK_UP, VK_RETURN});
    DWORD code = 99;
    ASSERT_TRUE(app.waitForExit(10000, code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(service_.commands().size() - before, c.switchesOff ? 1u : 0u) << c.reply;
    RegistryValue resume;
    const bool stored = readValue(HKEY_CURRENT_USER, kUserKeyPath, L"ResumeOn", resume);
    EXPECT_EQ(stored, c.remembers) << c.status << c.reply;
    if (stored) {
      EXPECT_EQ(resume.bytes, std::vector<BYTE>({1, 0, 0, 0}));
    }
  }
}

}  // namespace
}  // namespace kestrune::test
