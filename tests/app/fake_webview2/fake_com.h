// Building blocks of the fake's COM objects: reference counting, interface
// queries by a list of IIDs, and stubs for every slot of an interface table
// that record the call and fail with E_NOTIMPL.
#pragma once

#include <windows.h>

#include <atomic>
#include <vector>

#include "app/webview2_abi_win32.h"
#include "tests/app/fake_webview2/fake_log.h"

namespace kestrune::fakewv2 {

// A stub for one slot of an X-macro table of app/webview2_abi_win32.h.
#define FAKE_WV2_STUB(name, params)                \
  HRESULT STDMETHODCALLTYPE name params override { \
    record({"unexpected", #name});                 \
    return E_NOTIMPL;                              \
  }

// A COM object implementing `Interface` (the longest chain the fake offers),
// answering IUnknown and `Base` (the chain's first interface) always and the
// interfaces in between only as offered.
template <typename Interface, typename Base = Interface>
class FakeObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    bool offered = iid == __uuidof(IUnknown) || iid == __uuidof(Base);
    for (const IID& other : offered_) offered = offered || other == iid;
    wchar_t text[40] = L"";
    ::StringFromGUID2(iid, text, 40);
    record({"QueryInterface", utf8(text), offered ? "1" : "0"});
    if (!offered) return E_NOINTERFACE;
    this->AddRef();
    *out = static_cast<Interface*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  FakeObject() = default;
  // Appended after the interface's slots, so the interface layout stays.
  virtual ~FakeObject() = default;
  void offer(const IID& iid) { offered_.push_back(iid); }

 private:
  std::atomic<ULONG> refs_{1};
  std::vector<IID> offered_;
};

// The interface tables name their types without the namespace.
using namespace webview2;

// Every slot stubbed; the fakes override what the app uses.
class EnvironmentStubs : public FakeObject<ICoreWebView2Environment> {
 public:
  KESTRUNE_WV2_ENVIRONMENT(FAKE_WV2_STUB)
};
class ControllerStubs : public FakeObject<ICoreWebView2Controller2, ICoreWebView2Controller> {
 public:
  KESTRUNE_WV2_CONTROLLER(FAKE_WV2_STUB)
  KESTRUNE_WV2_CONTROLLER2(FAKE_WV2_STUB)
};
class WebViewStubs : public FakeObject<ICoreWebView2_3, ICoreWebView2> {
 public:
  KESTRUNE_WV2_WEBVIEW(FAKE_WV2_STUB)
  KESTRUNE_WV2_WEBVIEW_2(FAKE_WV2_STUB)
  KESTRUNE_WV2_WEBVIEW_3(FAKE_WV2_STUB)
};
class SettingsStubs : public FakeObject<ICoreWebView2Settings9, ICoreWebView2Settings> {
 public:
  KESTRUNE_WV2_SETTINGS(FAKE_WV2_STUB)
  KESTRUNE_WV2_SETTINGS2(FAKE_WV2_STUB)
  KESTRUNE_WV2_SETTINGS3(FAKE_WV2_STUB)
  KESTRUNE_WV2_SETTINGS4(FAKE_WV2_STUB)
  KESTRUNE_WV2_SETTINGS5(FAKE_WV2_STUB)
  KESTRUNE_WV2_SETTINGS6(FAKE_WV2_STUB)
  KESTRUNE_WV2_SETTINGS7(FAKE_WV2_STUB)
  KESTRUNE_WV2_SETTINGS8(FAKE_WV2_STUB)
  KESTRUNE_WV2_SETTINGS9(FAKE_WV2_STUB)
};
class WebMessageArgsStubs : public FakeObject<ICoreWebView2WebMessageReceivedEventArgs> {
 public:
  KESTRUNE_WV2_WEB_MESSAGE_ARGS(FAKE_WV2_STUB)
};
class NewWindowArgsStubs : public FakeObject<ICoreWebView2NewWindowRequestedEventArgs> {
 public:
  KESTRUNE_WV2_NEW_WINDOW_ARGS(FAKE_WV2_STUB)
};
class NavigationArgsStubs : public FakeObject<ICoreWebView2NavigationStartingEventArgs> {
 public:
  KESTRUNE_WV2_NAVIGATION_STARTING_ARGS(FAKE_WV2_STUB)
};

}  // namespace kestrune::fakewv2
