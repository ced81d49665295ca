#include "app/webview_host_win32.h"

#include <atomic>
#include <functional>
#include <memory>

#include "app/app_messages_win32.h"
#include "app/app_paths_win32.h"
#include "app/bridge_actions_win32.h"
#include "app/page_address.h"
#include "app/shell_actions_win32.h"
#include "common/utf8_win32.h"

namespace kestrune::app {

using namespace webview2;

namespace {

struct CoTaskMemFreeFn {
  void operator()(wchar_t* p) const noexcept { ::CoTaskMemFree(p); }
};
// Strings the runtime hands out.
using CoTaskString = UniqueResource<wchar_t*, nullptr, CoTaskMemFreeFn>;

std::string takeUtf8(CoTaskString& text) { return text ? wideToUtf8(text.get()) : std::string(); }

// A completion or event handler around a callable: Invoke(A, B) at slot 3,
// real reference counting (the runtime keeps handlers while registered).
template <typename Interface, typename A, typename B>
class Handler final : public Interface {
 public:
  using Fn = std::function<HRESULT(A, B)>;
  static ComPtr<Interface> make(Fn fn) {
    return ComPtr<Interface>::attach(new Handler(std::move(fn)));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != __uuidof(IUnknown) && iid != __uuidof(Interface)) return E_NOINTERFACE;
    AddRef();
    *out = static_cast<Interface*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(A a, B b) override { return fn_(a, b); }

 private:
  explicit Handler(Fn fn) : fn_(std::move(fn)) {}
  std::atomic<ULONG> refs_{1};
  Fn fn_;
};

template <typename Wanted, typename Have>
ComPtr<Wanted> query(const ComPtr<Have>& from) {
  ComPtr<Wanted> to;
  if (from) from->QueryInterface(__uuidof(Wanted), to.putVoid());
  return to;
}

RECT clientRect(HWND window) {
  RECT bounds{};
  ::GetClientRect(window, &bounds);
  return bounds;
}

}  // namespace

void WebViewHost::create(HWND window, const std::wstring& exePath, bool devMode) {
  window_ = window;
  exePath_ = exePath;
  devMode_ = devMode;
  const std::wstring folder = folderOf(exePath);
  loader_.reset(::LoadLibraryW((folder + L"\\" + kLoaderFileName).c_str()));
  // Through void(*)(), the generic function pointer type, as FARPROC's
  // declared type has nothing to do with the export's.
  const auto createEnvironment =
      loader_ ? reinterpret_cast<CreateEnvironmentWithOptionsFn>(reinterpret_cast<void (*)()>(
                    ::GetProcAddress(loader_.get(), kCreateEnvironmentExport)))
              : nullptr;
  if (!createEnvironment) {
    fail(
        L"Orvantis cannot show its window: the file WebView2Loader.dll is missing or damaged "
        L"in\n" +
        folder + L"\nInstall Orvantis again to restore it.");
    return;
  }
  auto handler = Handler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT,
                         ICoreWebView2Environment*>::make([this](HRESULT r, auto* e) {
    return onEnvironment(r, e);
  });
  // Without a runtime the call fails at once and never calls the handler.
  if (FAILED(createEnvironment(nullptr, webViewDataFolder().c_str(), nullptr, handler.get()))) {
    fail(kRuntimeMissingText);
  }
}

void WebViewHost::fail(std::wstring text) {
  if (failed_) return;
  failed_ = true;
  // Shown from the message loop: a modal box inside a runtime handler is not
  // supported by the control.
  postOwned(window_, kMsgWebViewFailed, 0, std::make_unique<std::wstring>(std::move(text)));
}

HRESULT WebViewHost::onEnvironment(HRESULT result, ICoreWebView2Environment* environment) {
  if (FAILED(result) || !environment) {
    fail(kRuntimeMissingText);
    return S_OK;
  }
  auto handler = Handler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT,
                         ICoreWebView2Controller*>::make([this](HRESULT r, auto* c) {
    return onController(r, c);
  });
  return environment->CreateCoreWebView2Controller(window_, handler.get());
}

HRESULT WebViewHost::onController(HRESULT result, ICoreWebView2Controller* controller) {
  // A failed controller leaves the window empty; tray and hot key go on.
  if (FAILED(result) || !controller) return S_OK;
  controller->AddRef();
  controller_ = ComPtr<ICoreWebView2Controller>::attach(controller);
  webView_.reset();
  if (FAILED(controller_->get_CoreWebView2(webView_.put())) || !webView_) return S_OK;
  applySettings();
  listen();
  webView_->Navigate(utf8ToWide(kStartPage).c_str());
  return S_OK;
}

void WebViewHost::applySettings() {
  const BOOL dev = devMode_ ? TRUE : FALSE;
  if (auto controller2 = query<ICoreWebView2Controller2>(controller_)) {
    controller2->put_DefaultBackgroundColor({255, 10, 10, 11});
  }
  controller_->put_Bounds(clientRect(window_));
  ComPtr<ICoreWebView2Settings> settings;
  webView_->get_Settings(settings.put());
  if (settings) {
    settings->put_AreDevToolsEnabled(dev);
    settings->put_AreDefaultContextMenusEnabled(dev);
    settings->put_IsStatusBarEnabled(FALSE);
    settings->put_IsZoomControlEnabled(FALSE);
  }
  if (auto settings3 = query<ICoreWebView2Settings3>(settings)) {
    settings3->put_AreBrowserAcceleratorKeysEnabled(dev);
  }
  // The window has no caption: the page marks the regions that act as one.
  if (auto settings9 = query<ICoreWebView2Settings9>(settings)) {
    settings9->put_IsNonClientRegionSupportEnabled(TRUE);
  }
  // Before the first navigation, or the mapping may not apply to it.
  if (auto webView3 = query<ICoreWebView2_3>(webView_)) {
    webView3->SetVirtualHostNameToFolderMapping(utf8ToWide(kPageHost).c_str(),
                                                (folderOf(exePath_) + L"\\ui").c_str(),
                                                COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_DENY_CORS);
  }
}

void WebViewHost::listen() {
  EventRegistrationToken token{};
  auto message = Handler<ICoreWebView2WebMessageReceivedEventHandler, ICoreWebView2*,
                         ICoreWebView2WebMessageReceivedEventArgs*>::make([this](auto*, auto* a) {
    return onWebMessage(a);
  });
  webView_->add_WebMessageReceived(message.get(), &token);
  auto newWindow = Handler<ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*,
                           ICoreWebView2NewWindowRequestedEventArgs*>::make([this](auto*, auto* a) {
    return onNewWindow(a);
  });
  webView_->add_NewWindowRequested(newWindow.get(), &token);
  auto navigation =
      Handler<ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*,
              ICoreWebView2NavigationStartingEventArgs*>::make([this](auto*, auto* a) {
        return onNavigationStarting(a);
      });
  webView_->add_NavigationStarting(navigation.get(), &token);
}

HRESULT WebViewHost::onWebMessage(ICoreWebView2WebMessageReceivedEventArgs* args) {
  if (!args) return E_POINTER;
  CoTaskString source;
  args->get_Source(source.put());
  if (!isPageAddress(takeUtf8(source))) return S_OK;
  CoTaskString text;
  if (FAILED(args->TryGetWebMessageAsString(text.put())) || !text || !*text.get()) return S_OK;
  startBridgeRequest(window_, exePath_, text.get());
  return S_OK;
}

HRESULT WebViewHost::onNewWindow(ICoreWebView2NewWindowRequestedEventArgs* args) {
  if (!args) return E_POINTER;
  CoTaskString uri;
  args->get_Uri(uri.put());
  if (uri && opensInBrowser(takeUtf8(uri))) openWithShell(uri.get());
  // Handled in every case: the control never opens a window of its own.
  return args->put_Handled(TRUE);
}

HRESULT WebViewHost::onNavigationStarting(ICoreWebView2NavigationStartingEventArgs* args) {
  if (!args) return E_POINTER;
  CoTaskString uri;
  args->get_Uri(uri.put());
  const std::string address = takeUtf8(uri);
  if (isPageAddress(address)) return S_OK;
  args->put_Cancel(TRUE);
  if (opensInBrowser(address)) openWithShell(uri.get());
  return S_OK;
}

void WebViewHost::postJson(const std::wstring& json) {
  if (webView_) webView_->PostWebMessageAsJson(json.c_str());
}

void WebViewHost::setVisible(bool visible) {
  if (controller_) controller_->put_IsVisible(visible ? TRUE : FALSE);
}

void WebViewHost::fitToWindow() {
  if (controller_) controller_->put_Bounds(clientRect(window_));
}

void WebViewHost::close() {
  if (controller_) controller_->Close();
  webView_.reset();
  controller_.reset();
}

}  // namespace kestrune::app
