// Pins our WebView2 declarations to the platform's binary interface: the
// vtable slot of every method the app calls or implements, and every IID.
#include "app/webview2_abi_win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "common/utf8_win32.h"

namespace kestrune::webview2 {
namespace {

// g++ keeps 1 + the vtable byte offset in a pointer to a virtual member.
template <typename Method>
std::size_t slotOf(Method method) {
  struct Bits {
    std::uintptr_t pointer;
    std::ptrdiff_t adjustment;
  } bits;
  static_assert(sizeof(Method) == sizeof(Bits));
  std::memcpy(&bits, &method, sizeof bits);
  return (bits.pointer - 1) / sizeof(void*);
}

TEST(WebView2Abi, EveryMethodTheAppUsesSitsInItsSlot) {
  using Unknown = HRESULT (STDMETHODCALLTYPE IUnknown::*)(REFIID, void**);
  struct Case {
    const char* name;
    std::size_t slot;
    std::size_t expected;
  };
  const Case cases[] = {
      {"QueryInterface", slotOf(static_cast<Unknown>(&IUnknown::QueryInterface)), 0},
      {"AddRef", slotOf(&IUnknown::AddRef), 1},
      {"Release", slotOf(&IUnknown::Release), 2},
      {"Environment::CreateCoreWebView2Controller",
       slotOf(&ICoreWebView2Environment::CreateCoreWebView2Controller), 3},
      {"Controller::put_IsVisible", slotOf(&ICoreWebView2Controller::put_IsVisible), 4},
      {"Controller::put_Bounds", slotOf(&ICoreWebView2Controller::put_Bounds), 6},
      {"Controller::Close", slotOf(&ICoreWebView2Controller::Close), 24},
      {"Controller::get_CoreWebView2", slotOf(&ICoreWebView2Controller::get_CoreWebView2), 25},
      {"Controller2::put_DefaultBackgroundColor",
       slotOf(&ICoreWebView2Controller2::put_DefaultBackgroundColor), 27},
      {"WebView::get_Settings", slotOf(&ICoreWebView2::get_Settings), 3},
      {"WebView::Navigate", slotOf(&ICoreWebView2::Navigate), 5},
      {"WebView::add_NavigationStarting", slotOf(&ICoreWebView2::add_NavigationStarting), 7},
      {"WebView::PostWebMessageAsJson", slotOf(&ICoreWebView2::PostWebMessageAsJson), 32},
      {"WebView::add_WebMessageReceived", slotOf(&ICoreWebView2::add_WebMessageReceived), 34},
      {"WebView::add_NewWindowRequested", slotOf(&ICoreWebView2::add_NewWindowRequested), 44},
      {"WebView_3::SetVirtualHostNameToFolderMapping",
       slotOf(&ICoreWebView2_3::SetVirtualHostNameToFolderMapping), 71},
      {"Settings::put_IsStatusBarEnabled", slotOf(&ICoreWebView2Settings::put_IsStatusBarEnabled),
       10},
      {"Settings::put_AreDevToolsEnabled", slotOf(&ICoreWebView2Settings::put_AreDevToolsEnabled),
       12},
      {"Settings::put_AreDefaultContextMenusEnabled",
       slotOf(&ICoreWebView2Settings::put_AreDefaultContextMenusEnabled), 14},
      {"Settings::put_IsZoomControlEnabled",
       slotOf(&ICoreWebView2Settings::put_IsZoomControlEnabled), 18},
      {"Settings3::put_AreBrowserAcceleratorKeysEnabled",
       slotOf(&ICoreWebView2Settings3::put_AreBrowserAcceleratorKeysEnabled), 24},
      {"Settings9::put_IsNonClientRegionSupportEnabled",
       slotOf(&ICoreWebView2Settings9::put_IsNonClientRegionSupportEnabled), 38},
      {"WebMessageArgs::get_Source", slotOf(&ICoreWebView2WebMessageReceivedEventArgs::get_Source),
       3},
      {"WebMessageArgs::TryGetWebMessageAsString",
       slotOf(&ICoreWebView2WebMessageReceivedEventArgs::TryGetWebMessageAsString), 5},
      {"NewWindowArgs::get_Uri", slotOf(&ICoreWebView2NewWindowRequestedEventArgs::get_Uri), 3},
      {"NewWindowArgs::put_Handled", slotOf(&ICoreWebView2NewWindowRequestedEventArgs::put_Handled),
       6},
      {"NavigationArgs::get_Uri", slotOf(&ICoreWebView2NavigationStartingEventArgs::get_Uri), 3},
      {"NavigationArgs::put_Cancel", slotOf(&ICoreWebView2NavigationStartingEventArgs::put_Cancel),
       8},
      {"EnvironmentCompleted::Invoke",
       slotOf(&ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler::Invoke), 3},
      {"ControllerCompleted::Invoke",
       slotOf(&ICoreWebView2CreateCoreWebView2ControllerCompletedHandler::Invoke), 3},
      {"WebMessageReceived::Invoke", slotOf(&ICoreWebView2WebMessageReceivedEventHandler::Invoke),
       3},
      {"NewWindowRequested::Invoke", slotOf(&ICoreWebView2NewWindowRequestedEventHandler::Invoke),
       3},
      {"NavigationStarting::Invoke", slotOf(&ICoreWebView2NavigationStartingEventHandler::Invoke),
       3},
  };
  for (const Case& c : cases) EXPECT_EQ(c.slot, c.expected) << c.name;
  // Whole interfaces: the vtable sizes of the tables end where they should.
  EXPECT_EQ(slotOf(&ICoreWebView2::remove_WindowCloseRequested), 60u);
  EXPECT_EQ(slotOf(&ICoreWebView2_2::get_Environment), 67u);
  EXPECT_EQ(slotOf(&ICoreWebView2Settings8::put_IsReputationCheckingRequired), 36u);
  EXPECT_EQ(sizeof(COREWEBVIEW2_COLOR), 4u);
  EXPECT_EQ(sizeof(EventRegistrationToken), 8u);
}

std::string iidText(const GUID& iid) {
  wchar_t text[40];
  ::StringFromGUID2(iid, text, 40);
  return wideToUtf8(text);
}

TEST(WebView2Abi, InterfaceIds) {
  struct Case {
    std::string iid;
    const char* expected;
  };
  const Case cases[] = {
      {iidText(__uuidof(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler)),
       "{4E8A3389-C9D8-4BD2-B6B5-124FEE6CC14D}"},
      {iidText(__uuidof(ICoreWebView2Environment)), "{B96D755E-0319-4E92-A296-23436F46A1FC}"},
      {iidText(__uuidof(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler)),
       "{6C4819F3-C9B7-4260-8127-C9F5BDE7F68C}"},
      {iidText(__uuidof(ICoreWebView2Controller)), "{4D00C0D1-9434-4EB6-8078-8697A560334F}"},
      {iidText(__uuidof(ICoreWebView2Controller2)), "{C979903E-D4CA-4228-92EB-47EE3FA96EAB}"},
      {iidText(__uuidof(ICoreWebView2)), "{76ECEACB-0462-4D94-AC83-423A6793775E}"},
      {iidText(__uuidof(ICoreWebView2_2)), "{9E8F0CF8-E670-4B5E-B2BC-73E061E3184C}"},
      {iidText(__uuidof(ICoreWebView2_3)), "{A0D6DF20-3B92-416D-AA0C-437A9C727857}"},
      {iidText(__uuidof(ICoreWebView2Settings)), "{E562E4F0-D7FA-43AC-8D71-C05150499F00}"},
      {iidText(__uuidof(ICoreWebView2Settings3)), "{FDB5AB74-AF33-4854-84F0-0A631DEB5EBA}"},
      {iidText(__uuidof(ICoreWebView2Settings9)), "{0528A73B-E92D-49F4-927A-E547DDDAA37D}"},
      {iidText(__uuidof(ICoreWebView2WebMessageReceivedEventHandler)),
       "{57213F19-00E6-49FA-8E07-898EA01ECBD2}"},
      {iidText(__uuidof(ICoreWebView2WebMessageReceivedEventArgs)),
       "{0F99A40C-E962-4207-9E92-E3D542EFF849}"},
      {iidText(__uuidof(ICoreWebView2NewWindowRequestedEventHandler)),
       "{D4C185FE-C81C-4989-97AF-2D3FA7AB5651}"},
      {iidText(__uuidof(ICoreWebView2NewWindowRequestedEventArgs)),
       "{34ACB11C-FC37-4418-9132-F9C21D1EAFB9}"},
      {iidText(__uuidof(ICoreWebView2NavigationStartingEventHandler)),
       "{9ADBE429-F36D-432B-9DDC-F8881FBD76E3}"},
      {iidText(__uuidof(ICoreWebView2NavigationStartingEventArgs)),
       "{5B495469-E119-438A-9B18-7604F25F2E49}"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.iid, c.expected);
}

}  // namespace
}  // namespace kestrune::webview2
