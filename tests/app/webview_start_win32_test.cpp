// The web view's creation as the app drives it through the fake loader.
#include <gtest/gtest.h>
#include <windows.h>
// These need windows.h included before them.
#include <knownfolders.h>
#include <shlobj.h>

#include "common/utf8_win32.h"
#include "tests/app/app_test_win32.h"

namespace kestrune::test {
namespace {

std::string knownLocalAppData() {
  PWSTR path = nullptr;
  ::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path);
  std::string out = wideToUtf8(path);
  ::CoTaskMemFree(path);
  return out;
}

// Starts the app, waits for the start page, quits it with WM_COMMAND 3 and
// returns the calls in order.
std::vector<FakeCall> startAndQuit(FakeWebView& fake, AppFolder& app, const std::wstring& args) {
  EXPECT_TRUE(app.start(args));
  HWND window = app.waitForWindow();
  EXPECT_TRUE(window);
  EXPECT_TRUE(
      fake.waitFor([](const auto& calls) { return indexOf(calls, "NavigationStarting") >= 0; }));
  ::PostMessageW(window, WM_COMMAND, 3, 0);
  DWORD code = 99;
  EXPECT_TRUE(app.waitForExit(10000, code));
  EXPECT_EQ(code, 0u);
  return withoutGetters(fake.calls());
}

TEST(WebViewStart, SettingsInOrderThenMappingThenTheStartPage) {
  UserKeys keys;
  TrayObserver tray;
  ServiceStandIn service;
  struct Case {
    const wchar_t* mode;
    const wchar_t* args;
    const char* dev;
  };
  for (const Case c :
       {Case{L"", L"", "0"}, Case{L"", L"--dev", "1"}, Case{L"no-optional", L"", "0"}}) {
    FakeWebView fake(c.mode);
    AppFolder app;
    const auto calls = startAndQuit(fake, app, c.args);
    const std::string ui = wideToUtf8(app.path()) + "\\ui";
    wchar_t local[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    const bool optional = std::wstring(c.mode) != L"no-optional";
    std::vector<FakeCall> expected = {
        {"CreateCoreWebView2EnvironmentWithOptions", "<null>",
         wideToUtf8(std::wstring(local, n)) + "\\Kestrune\\WebView2", "<null>"},
        {"CreateCoreWebView2Controller", "KestruneApp"},
        {"get_CoreWebView2"},
        {"put_DefaultBackgroundColor", "255 10 10 11"},
        {"put_Bounds", "0 0 520 760"},
        {"get_Settings"},
        {"put_AreDevToolsEnabled", c.dev},
        {"put_AreDefaultContextMenusEnabled", c.dev},
        {"put_IsStatusBarEnabled", "0"},
        {"put_IsZoomControlEnabled", "0"},
        {"put_AreBrowserAcceleratorKeysEnabled", c.dev},
        {"put_IsNonClientRegionSupportEnabled", "1"},
        {"SetVirtualHostNameToFolderMapping", "kestrune.example", ui, "2"},
        {"add_WebMessageReceived"},
        {"add_NewWindowRequested"},
        {"add_NavigationStarting"},
        {"Navigate", kPageSource},
        {"NavigationStarting", kPageSource, "0"},
    };
    if (!optional) {
      // Each setting of an interface the runtime lacks is skipped alone.
      std::erase_if(expected, [](const FakeCall& call) {
        return call[0] == "put_DefaultBackgroundColor" ||
               call[0] == "put_AreBrowserAcceleratorKeysEnabled" ||
               call[0] == "put_IsNonClientRegionSupportEnabled" ||
               call[0] == "SetVirtualHostNameToFolderMapping";
      });
    }
    ASSERT_GE(calls.size(), expected.size());
    EXPECT_EQ(std::vector<FakeCall>(calls.begin(), calls.begin() + expected.size()), expected);
    EXPECT_GE(indexOf(calls, "Close"), 0);
    EXPECT_EQ(indexOf(calls, "unexpected"), -1);
  }
}

TEST(WebViewStart, DataFolderFallsBackToTheKnownFolderWithoutAUsableVariable) {
  UserKeys keys;
  TrayObserver tray;
  ServiceStandIn service;
  wchar_t saved[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", saved, MAX_PATH);
  ASSERT_GT(n, 0u);
  const std::string expected = knownLocalAppData() + "\\Kestrune\\WebView2";
  for (const std::wstring& value : {std::wstring(), std::wstring(300, L'x')}) {
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", value.empty() ? nullptr : value.c_str());
    FakeWebView fake;
    AppFolder app;
    const auto calls = startAndQuit(fake, app, L"");
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", saved);
    const auto created = callsNamed(calls, "CreateCoreWebView2EnvironmentWithOptions");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0][2], expected) << value.size();
  }
}

}  // namespace
}  // namespace kestrune::test
