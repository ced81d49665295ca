// A stand-in for Microsoft's WebView2Loader.dll, for the Wine tests: the
// environment, controller, web view and settings of a control that shows
// nothing. Every call is recorded (fake_log.h). A test plays the page's part
// by sending WM_COPYDATA to the fake's message-only window, class
// "KestruneFakeWebView2", which runs on the app's UI thread (UTF-8 text):
//   dwData 1: "<source>\t<text>"  the page posts the string <text>
//   dwData 2: "<source>\t<json>"  the page posts a value that is no string
//   dwData 3: "<uri>"             a top-level navigation starts
//   dwData 4: "<uri>"             the page asks for a new window
// The reply is 0 when no handler was registered, else 1, plus 2 when the
// navigation was cancelled or the new window marked handled.
// KESTRUNE_FAKE_WEBVIEW2_MODE chooses a failure: "sync-fail" (the call
// returns 0x80070002 and never calls back, as without a runtime),
// "environment-fail" (the handler gets E_FAIL), "controller-fail",
// "no-optional" (no Controller2, Settings3+, ICoreWebView2_2+).
#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/webview2_abi_win32.h"
#include "common/handles_win32.h"
#include "common/utf8_win32.h"
#include "tests/app/fake_webview2/fake_com.h"
#include "tests/app/fake_webview2/fake_log.h"
#include "tests/support/wine_only_win32.h"

namespace kestrune::fakewv2 {

using namespace webview2;

namespace {

enum class Mode { Normal, SyncFail, EnvironmentFail, ControllerFail, NoOptional };

Mode mode = Mode::Normal;
HWND controlWindow = nullptr;
constexpr UINT kMsgRun = WM_APP + 1;  // lParam: owned std::function<void()>

// Runs `job` from the message loop, as the runtime runs its callbacks.
void later(std::function<void()> job) {
  auto owned = std::make_unique<std::function<void()>>(std::move(job));
  if (::PostMessageW(controlWindow, kMsgRun, 0, reinterpret_cast<LPARAM>(owned.get()))) {
    owned.release();
  }
}

HRESULT coTaskCopy(const std::string& utf8Text, LPWSTR* out) {
  if (!out) return E_POINTER;
  const std::wstring text = utf8ToWide(utf8Text);
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  *out = static_cast<wchar_t*>(::CoTaskMemAlloc(bytes));
  if (!*out) return E_OUTOFMEMORY;
  std::memcpy(*out, text.c_str(), bytes);
  return S_OK;
}

template <typename T>
ComPtr<T> keep(T* p) {
  if (p) p->AddRef();
  return ComPtr<T>::attach(p);
}

class FakeSettings final : public SettingsStubs {
 public:
  FakeSettings() {
    if (mode != Mode::NoOptional) {
      offer(__uuidof(ICoreWebView2Settings3));
      offer(__uuidof(ICoreWebView2Settings9));
    }
  }
#define FAKE_WV2_PUT_FLAG(name)                         \
  HRESULT STDMETHODCALLTYPE name(BOOL value) override { \
    record({#name, flag(value)});                       \
    return S_OK;                                        \
  }
  FAKE_WV2_PUT_FLAG(put_AreDevToolsEnabled)
  FAKE_WV2_PUT_FLAG(put_AreDefaultContextMenusEnabled)
  FAKE_WV2_PUT_FLAG(put_IsStatusBarEnabled)
  FAKE_WV2_PUT_FLAG(put_IsZoomControlEnabled)
  FAKE_WV2_PUT_FLAG(put_AreBrowserAcceleratorKeysEnabled)
  FAKE_WV2_PUT_FLAG(put_IsNonClientRegionSupportEnabled)
#undef FAKE_WV2_PUT_FLAG
};

class FakeWebMessageArgs final : public WebMessageArgsStubs {
 public:
  FakeWebMessageArgs(std::string source, std::string message, bool isString)
      : source_(std::move(source)), message_(std::move(message)), isString_(isString) {}
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* value) override {
    record({"get_Source"});
    return coTaskCopy(source_, value);
  }
  HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* value) override {
    record({"TryGetWebMessageAsString"});
    if (!value) return E_POINTER;
    *value = nullptr;
    return isString_ ? coTaskCopy(message_, value) : E_INVALIDARG;
  }

 private:
  std::string source_, message_;
  bool isString_;
};

// Navigation-starting and new-window arguments: an address, and the one
// flag the app sets (Cancel or Handled).
template <typename Stubs>
class UriArgs : public Stubs {
 public:
  explicit UriArgs(std::string uri) : uri_(std::move(uri)) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* value) override {
    record({"get_Uri"});
    return coTaskCopy(uri_, value);
  }
  bool flagged = false;

 protected:
  HRESULT setFlag(const char* name, BOOL value) {
    record({name, flag(value)});
    flagged = value != FALSE;
    return S_OK;
  }

 private:
  std::string uri_;
};

class FakeNavigationArgs final : public UriArgs<NavigationArgsStubs> {
 public:
  using UriArgs::UriArgs;
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL value) override { return setFlag("put_Cancel", value); }
};

class FakeNewWindowArgs final : public UriArgs<NewWindowArgsStubs> {
 public:
  using UriArgs::UriArgs;
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL value) override {
    return setFlag("put_Handled", value);
  }
};

class FakeWebView final : public WebViewStubs {
 public:
  FakeWebView() : settings_(ComPtr<FakeSettings>::attach(new FakeSettings)) {
    if (mode != Mode::NoOptional) {
      offer(__uuidof(ICoreWebView2_2));
      offer(__uuidof(ICoreWebView2_3));
    }
  }
  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override {
    record({"get_Settings"});
    if (!settings) return E_POINTER;
    settings_->AddRef();
    *settings = settings_.get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    record({"Navigate", utf8(uri)});
    later([self = keep(this), target = utf8(uri)] { self->startNavigation(target); });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* h,
                                                   EventRegistrationToken* token) override {
    return add("add_NavigationStarting", navigation_, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* h,
                                                   EventRegistrationToken* token) override {
    return add("add_WebMessageReceived", message_, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* h,
                                                   EventRegistrationToken* token) override {
    return add("add_NewWindowRequested", newWindow_, h, token);
  }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) override {
    record({"PostWebMessageAsJson", utf8(json)});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR text) override {
    record({"PostWebMessageAsString", utf8(text)});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetVirtualHostNameToFolderMapping(
      LPCWSTR host, LPCWSTR folder, COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND kind) override {
    record({"SetVirtualHostNameToFolderMapping", utf8(host), utf8(folder), number(kind)});
    return S_OK;
  }

  // The page's side, as driven by the test.
  LRESULT postFromPage(const std::string& source, const std::string& text, bool isString) {
    if (!message_) return 0;
    auto args = ComPtr<FakeWebMessageArgs>::attach(new FakeWebMessageArgs(source, text, isString));
    message_->Invoke(this, args.get());
    return 1;
  }
  LRESULT startNavigation(const std::string& uri) {
    if (!navigation_) return 0;
    auto args = ComPtr<FakeNavigationArgs>::attach(new FakeNavigationArgs(uri));
    navigation_->Invoke(this, args.get());
    record({"NavigationStarting", uri, flag(args->flagged)});
    return 1 + (args->flagged ? 2 : 0);
  }
  LRESULT requestWindow(const std::string& uri) {
    if (!newWindow_) return 0;
    auto args = ComPtr<FakeNewWindowArgs>::attach(new FakeNewWindowArgs(uri));
    newWindow_->Invoke(this, args.get());
    return 1 + (args->flagged ? 2 : 0);
  }
  void close() {
    navigation_.reset();
    message_.reset();
    newWindow_.reset();
  }

 private:
  template <typename H>
  HRESULT add(const char* name, ComPtr<H>& slot, H* handler, EventRegistrationToken* token) {
    record({name});
    if (!handler || !token) return E_POINTER;
    slot = keep(handler);
    token->value = 1;
    return S_OK;
  }

  ComPtr<FakeSettings> settings_;
  ComPtr<ICoreWebView2NavigationStartingEventHandler> navigation_;
  ComPtr<ICoreWebView2WebMessageReceivedEventHandler> message_;
  ComPtr<ICoreWebView2NewWindowRequestedEventHandler> newWindow_;
};

// The one web view of the process, for the test's injections.
ComPtr<FakeWebView> currentWebView;

class FakeController final : public ControllerStubs {
 public:
  FakeController() : webView_(ComPtr<FakeWebView>::attach(new FakeWebView)) {
    if (mode != Mode::NoOptional) offer(__uuidof(ICoreWebView2Controller2));
    currentWebView = webView_;
  }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
    record({"put_IsVisible", flag(visible)});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT r) override {
    record({"put_Bounds",
            number(r.left) + " " + number(r.top) + " " + number(r.right) + " " + number(r.bottom)});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    record({"Close"});
    webView_->close();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** webView) override {
    record({"get_CoreWebView2"});
    if (!webView) return E_POINTER;
    webView_->AddRef();
    *webView = webView_.get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR c) override {
    record({"put_DefaultBackgroundColor",
            number(c.A) + " " + number(c.R) + " " + number(c.G) + " " + number(c.B)});
    return S_OK;
  }

 private:
  ComPtr<FakeWebView> webView_;
};

class FakeEnvironment final : public EnvironmentStubs {
 public:
  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    wchar_t parentClass[64] = L"";
    ::GetClassNameW(parent, parentClass, 64);
    record({"CreateCoreWebView2Controller", utf8(parentClass)});
    if (!handler) return E_POINTER;
    later([h = keep(handler)] {
      if (mode == Mode::ControllerFail) {
        h->Invoke(E_FAIL, nullptr);
        return;
      }
      auto controller = ComPtr<FakeController>::attach(new FakeController);
      h->Invoke(S_OK, controller.get());
    });
    return S_OK;
  }
};

LRESULT inject(const COPYDATASTRUCT& data) {
  if (!currentWebView) return 0;
  const std::string text(static_cast<const char*>(data.lpData), data.cbData);
  const std::size_t tab = text.find('\t');
  switch (data.dwData) {
    case 1:
    case 2:
      if (tab == std::string::npos) return 0;
      return currentWebView->postFromPage(text.substr(0, tab), text.substr(tab + 1),
                                          data.dwData == 1);
    case 3:
      return currentWebView->startNavigation(text);
    case 4:
      return currentWebView->requestWindow(text);
    default:
      return 0;
  }
}

LRESULT CALLBACK controlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kMsgRun) {
    std::unique_ptr<std::function<void()>> job(reinterpret_cast<std::function<void()>*>(lParam));
    (*job)();
    return 0;
  }
  if (message == WM_COPYDATA && lParam) {
    return inject(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void createControlWindow() {
  if (controlWindow) return;
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = controlProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"KestruneFakeWebView2";
  ::RegisterClassW(&windowClass);
  controlWindow = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, windowClass.hInstance, nullptr);
}

Mode readMode() {
  wchar_t text[64];
  const DWORD n = ::GetEnvironmentVariableW(L"KESTRUNE_FAKE_WEBVIEW2_MODE", text, 64);
  const std::wstring value(text, n < 64 ? n : 0);
  if (value == L"sync-fail") return Mode::SyncFail;
  if (value == L"environment-fail") return Mode::EnvironmentFail;
  if (value == L"controller-fail") return Mode::ControllerFail;
  if (value == L"no-optional") return Mode::NoOptional;
  return Mode::Normal;
}

}  // namespace

}  // namespace kestrune::fakewv2

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserFolder, PCWSTR userDataFolder, IUnknown* options,
    kestrune::webview2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  using namespace kestrune::fakewv2;
  // A test fixture only: on a real machine it behaves like a missing runtime.
  if (!kestrune::test::runningUnderWine()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  openLog();
  mode = readMode();
  record({"CreateCoreWebView2EnvironmentWithOptions",
          browserFolder ? utf8(browserFolder) : "<null>",
          userDataFolder ? utf8(userDataFolder) : "<null>", options ? "options" : "<null>"});
  if (!handler) return E_POINTER;
  if (mode == Mode::SyncFail) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  createControlWindow();
  later([h = keep(handler)] {
    if (mode == Mode::EnvironmentFail) {
      h->Invoke(E_FAIL, nullptr);
      return;
    }
    auto environment = kestrune::ComPtr<FakeEnvironment>::attach(new FakeEnvironment);
    h->Invoke(S_OK, environment.get());
  });
  return S_OK;
}
