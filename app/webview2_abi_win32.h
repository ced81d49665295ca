// Our own declarations of the WebView2 interfaces the app uses (there is no
// SDK header here). Each interface's methods are listed once, in slot order
// (slot numbers count IUnknown's three), as an X-macro table: the app
// declares the interfaces from it and the test tree's fake loader builds its
// recording stubs from the same table. Every slot below the highest one used
// is declared; unused trailing slots are left out. No virtual destructors:
// they would add slots. The slot test pins every method the app calls.
#pragma once

#include <windows.h>
// These need windows.h included before them.
#include <eventtoken.h>
#include <objidl.h>
#include <unknwn.h>

namespace kestrune::webview2 {

// v1_enum types of the IDL: 32-bit.
using COREWEBVIEW2_MOVE_FOCUS_REASON = INT32;
using COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT = INT32;
using COREWEBVIEW2_WEB_RESOURCE_CONTEXT = INT32;
using COREWEBVIEW2_PDF_TOOLBAR_ITEMS = INT32;
using COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND = INT32;
inline constexpr COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND
    COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_DENY_CORS = 2;

// Passed by value; the field order is A, R, G, B.
struct COREWEBVIEW2_COLOR {
  BYTE A;
  BYTE R;
  BYTE G;
  BYTE B;
};
static_assert(sizeof(COREWEBVIEW2_COLOR) == 4);

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2Settings;
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler;
struct ICoreWebView2WebMessageReceivedEventHandler;
struct ICoreWebView2NewWindowRequestedEventHandler;
struct ICoreWebView2NavigationStartingEventHandler;
// Interfaces that only appear in slots the app never calls.
struct ICoreWebView2AcceleratorKeyPressedEventHandler;
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler;
struct ICoreWebView2CallDevToolsProtocolMethodCompletedHandler;
struct ICoreWebView2CapturePreviewCompletedHandler;
struct ICoreWebView2ContainsFullScreenElementChangedEventHandler;
struct ICoreWebView2ContentLoadingEventHandler;
struct ICoreWebView2CookieManager;
struct ICoreWebView2Deferral;
struct ICoreWebView2DevToolsProtocolEventReceiver;
struct ICoreWebView2DocumentTitleChangedEventHandler;
struct ICoreWebView2DOMContentLoadedEventHandler;
struct ICoreWebView2ExecuteScriptCompletedHandler;
struct ICoreWebView2FocusChangedEventHandler;
struct ICoreWebView2HistoryChangedEventHandler;
struct ICoreWebView2HttpRequestHeaders;
struct ICoreWebView2MoveFocusRequestedEventHandler;
struct ICoreWebView2NavigationCompletedEventHandler;
struct ICoreWebView2NewBrowserVersionAvailableEventHandler;
struct ICoreWebView2PermissionRequestedEventHandler;
struct ICoreWebView2ProcessFailedEventHandler;
struct ICoreWebView2ScriptDialogOpeningEventHandler;
struct ICoreWebView2SourceChangedEventHandler;
struct ICoreWebView2TrySuspendCompletedHandler;
struct ICoreWebView2WebResourceRequest;
struct ICoreWebView2WebResourceRequestedEventHandler;
struct ICoreWebView2WebResourceResponse;
struct ICoreWebView2WebResourceResponseReceivedEventHandler;
struct ICoreWebView2WindowCloseRequestedEventHandler;
struct ICoreWebView2WindowFeatures;
struct ICoreWebView2ZoomFactorChangedEventHandler;

// X(name, (parameters)) per slot, from slot 3 (or the parent's end) on.

#define KESTRUNE_WV2_ENVIRONMENT(X) \
  /* 3 */ X(                        \
      CreateCoreWebView2Controller, \
      (HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler * handler))

#define KESTRUNE_WV2_CONTROLLER(X)                                                                 \
  /* 3 */ X(get_IsVisible, (BOOL * isVisible))                                                     \
  /* 4 */ X(put_IsVisible, (BOOL isVisible))                                                       \
  /* 5 */ X(get_Bounds, (RECT * bounds))                                                           \
  /* 6 */ X(put_Bounds, (RECT bounds))                                                             \
  /* 7 */ X(get_ZoomFactor, (double* zoomFactor))                                                  \
  /* 8 */ X(put_ZoomFactor, (double zoomFactor))                                                   \
  /* 9 */ X(add_ZoomFactorChanged, (ICoreWebView2ZoomFactorChangedEventHandler * handler,          \
                                    EventRegistrationToken * token))                               \
  /* 10 */ X(remove_ZoomFactorChanged, (EventRegistrationToken token))                             \
  /* 11 */ X(SetBoundsAndZoomFactor, (RECT bounds, double zoomFactor))                             \
  /* 12 */ X(MoveFocus, (COREWEBVIEW2_MOVE_FOCUS_REASON reason))                                   \
  /* 13 */ X(add_MoveFocusRequested, (ICoreWebView2MoveFocusRequestedEventHandler * handler,       \
                                      EventRegistrationToken * token))                             \
  /* 14 */ X(remove_MoveFocusRequested, (EventRegistrationToken token))                            \
  /* 15 */ X(add_GotFocus,                                                                         \
             (ICoreWebView2FocusChangedEventHandler * handler, EventRegistrationToken * token))    \
  /* 16 */ X(remove_GotFocus, (EventRegistrationToken token))                                      \
  /* 17 */ X(add_LostFocus,                                                                        \
             (ICoreWebView2FocusChangedEventHandler * handler, EventRegistrationToken * token))    \
  /* 18 */ X(remove_LostFocus, (EventRegistrationToken token))                                     \
  /* 19 */ X(add_AcceleratorKeyPressed, (ICoreWebView2AcceleratorKeyPressedEventHandler * handler, \
                                         EventRegistrationToken * token))                          \
  /* 20 */ X(remove_AcceleratorKeyPressed, (EventRegistrationToken token))                         \
  /* 21 */ X(get_ParentWindow, (HWND * parentWindow))                                              \
  /* 22 */ X(put_ParentWindow, (HWND parentWindow))                                                \
  /* 23 */ X(NotifyParentWindowPositionChanged, ())                                                \
  /* 24 */ X(Close, ())                                                                            \
  /* 25 */ X(get_CoreWebView2, (ICoreWebView2 * *coreWebView2))

#define KESTRUNE_WV2_CONTROLLER2(X)                                    \
  /* 26 */ X(get_DefaultBackgroundColor, (COREWEBVIEW2_COLOR * value)) \
  /* 27 */ X(put_DefaultBackgroundColor, (COREWEBVIEW2_COLOR value))

#define KESTRUNE_WV2_WEBVIEW(X)                                                                   \
  /* 3 */ X(get_Settings, (ICoreWebView2Settings * *settings))                                    \
  /* 4 */ X(get_Source, (LPWSTR * uri))                                                           \
  /* 5 */ X(Navigate, (LPCWSTR uri))                                                              \
  /* 6 */ X(NavigateToString, (LPCWSTR htmlContent))                                              \
  /* 7 */ X(add_NavigationStarting, (ICoreWebView2NavigationStartingEventHandler * handler,       \
                                     EventRegistrationToken * token))                             \
  /* 8 */ X(remove_NavigationStarting, (EventRegistrationToken token))                            \
  /* 9 */ X(add_ContentLoading,                                                                   \
            (ICoreWebView2ContentLoadingEventHandler * handler, EventRegistrationToken * token))  \
  /* 10 */ X(remove_ContentLoading, (EventRegistrationToken token))                               \
  /* 11 */ X(add_SourceChanged,                                                                   \
             (ICoreWebView2SourceChangedEventHandler * handler, EventRegistrationToken * token))  \
  /* 12 */ X(remove_SourceChanged, (EventRegistrationToken token))                                \
  /* 13 */ X(add_HistoryChanged,                                                                  \
             (ICoreWebView2HistoryChangedEventHandler * handler, EventRegistrationToken * token)) \
  /* 14 */ X(remove_HistoryChanged, (EventRegistrationToken token))                               \
  /* 15 */ X(add_NavigationCompleted, (ICoreWebView2NavigationCompletedEventHandler * handler,    \
                                       EventRegistrationToken * token))                           \
  /* 16 */ X(remove_NavigationCompleted, (EventRegistrationToken token))                          \
  /* 17 */ X(add_FrameNavigationStarting, (ICoreWebView2NavigationStartingEventHandler * handler, \
                                           EventRegistrationToken * token))                       \
  /* 18 */ X(remove_FrameNavigationStarting, (EventRegistrationToken token))                      \
  /* 19 */ X(                                                                                     \
      add_FrameNavigationCompleted,                                                               \
      (ICoreWebView2NavigationCompletedEventHandler * handler, EventRegistrationToken * token))   \
  /* 20 */ X(remove_FrameNavigationCompleted, (EventRegistrationToken token))                     \
  /* 21 */ X(add_ScriptDialogOpening, (ICoreWebView2ScriptDialogOpeningEventHandler * handler,    \
                                       EventRegistrationToken * token))                           \
  /* 22 */ X(remove_ScriptDialogOpening, (EventRegistrationToken token))                          \
  /* 23 */ X(add_PermissionRequested, (ICoreWebView2PermissionRequestedEventHandler * handler,    \
                                       EventRegistrationToken * token))                           \
  /* 24 */ X(remove_PermissionRequested, (EventRegistrationToken token))                          \
  /* 25 */ X(add_ProcessFailed,                                                                   \
             (ICoreWebView2ProcessFailedEventHandler * handler, EventRegistrationToken * token))  \
  /* 26 */ X(remove_ProcessFailed, (EventRegistrationToken token))                                \
  /* 27 */ X(AddScriptToExecuteOnDocumentCreated,                                                 \
             (LPCWSTR javaScript,                                                                 \
              ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler * handler))        \
  /* 28 */ X(RemoveScriptToExecuteOnDocumentCreated, (LPCWSTR id))                                \
  /* 29 */ X(ExecuteScript,                                                                       \
             (LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler * handler))          \
  /* 30 */ X(CapturePreview,                                                                      \
             (COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT imageFormat, IStream * imageStream,       \
              ICoreWebView2CapturePreviewCompletedHandler * handler))                             \
  /* 31 */ X(Reload, ())                                                                          \
  /* 32 */ X(PostWebMessageAsJson, (LPCWSTR webMessageAsJson))                                    \
  /* 33 */ X(PostWebMessageAsString, (LPCWSTR webMessageAsString))                                \
  /* 34 */ X(add_WebMessageReceived, (ICoreWebView2WebMessageReceivedEventHandler * handler,      \
                                      EventRegistrationToken * token))                            \
  /* 35 */ X(remove_WebMessageReceived, (EventRegistrationToken token))                           \
  /* 36 */ X(CallDevToolsProtocolMethod,                                                          \
             (LPCWSTR methodName, LPCWSTR parametersAsJson,                                       \
              ICoreWebView2CallDevToolsProtocolMethodCompletedHandler * handler))                 \
  /* 37 */ X(get_BrowserProcessId, (UINT32 * value))                                              \
  /* 38 */ X(get_CanGoBack, (BOOL * canGoBack))                                                   \
  /* 39 */ X(get_CanGoForward, (BOOL * canGoForward))                                             \
  /* 40 */ X(GoBack, ())                                                                          \
  /* 41 */ X(GoForward, ())                                                                       \
  /* 42 */ X(GetDevToolsProtocolEventReceiver,                                                    \
             (LPCWSTR eventName, ICoreWebView2DevToolsProtocolEventReceiver * *receiver))         \
  /* 43 */ X(Stop, ())                                                                            \
  /* 44 */ X(add_NewWindowRequested, (ICoreWebView2NewWindowRequestedEventHandler * handler,      \
                                      EventRegistrationToken * token))                            \
  /* 45 */ X(remove_NewWindowRequested, (EventRegistrationToken token))                           \
  /* 46 */ X(add_DocumentTitleChanged, (ICoreWebView2DocumentTitleChangedEventHandler * handler,  \
                                        EventRegistrationToken * token))                          \
  /* 47 */ X(remove_DocumentTitleChanged, (EventRegistrationToken token))                         \
  /* 48 */ X(get_DocumentTitle, (LPWSTR * title))                                                 \
  /* 49 */ X(AddHostObjectToScript, (LPCWSTR name, VARIANT * object))                             \
  /* 50 */ X(RemoveHostObjectFromScript, (LPCWSTR name))                                          \
  /* 51 */ X(OpenDevToolsWindow, ())                                                              \
  /* 52 */ X(add_ContainsFullScreenElementChanged,                                                \
             (ICoreWebView2ContainsFullScreenElementChangedEventHandler * handler,                \
              EventRegistrationToken * token))                                                    \
  /* 53 */ X(remove_ContainsFullScreenElementChanged, (EventRegistrationToken token))             \
  /* 54 */ X(get_ContainsFullScreenElement, (BOOL * containsFullScreenElement))                   \
  /* 55 */ X(add_WebResourceRequested, (ICoreWebView2WebResourceRequestedEventHandler * handler,  \
                                        EventRegistrationToken * token))                          \
  /* 56 */ X(remove_WebResourceRequested, (EventRegistrationToken token))                         \
  /* 57 */ X(AddWebResourceRequestedFilter,                                                       \
             (LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext))                    \
  /* 58 */ X(RemoveWebResourceRequestedFilter,                                                    \
             (LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext))                    \
  /* 59 */ X(add_WindowCloseRequested, (ICoreWebView2WindowCloseRequestedEventHandler * handler,  \
                                        EventRegistrationToken * token))                          \
  /* 60 */ X(remove_WindowCloseRequested, (EventRegistrationToken token))

#define KESTRUNE_WV2_WEBVIEW_2(X)                                                         \
  /* 61 */ X(add_WebResourceResponseReceived,                                             \
             (ICoreWebView2WebResourceResponseReceivedEventHandler * handler,             \
              EventRegistrationToken * token))                                            \
  /* 62 */ X(remove_WebResourceResponseReceived, (EventRegistrationToken token))          \
  /* 63 */ X(NavigateWithWebResourceRequest, (ICoreWebView2WebResourceRequest * request)) \
  /* 64 */ X(add_DOMContentLoaded, (ICoreWebView2DOMContentLoadedEventHandler * handler,  \
                                    EventRegistrationToken * token))                      \
  /* 65 */ X(remove_DOMContentLoaded, (EventRegistrationToken token))                     \
  /* 66 */ X(get_CookieManager, (ICoreWebView2CookieManager * *cookieManager))            \
  /* 67 */ X(get_Environment, (ICoreWebView2Environment * *environment))

#define KESTRUNE_WV2_WEBVIEW_3(X)                                                                \
  /* 68 */ X(TrySuspend, (ICoreWebView2TrySuspendCompletedHandler * handler))                    \
  /* 69 */ X(Resume, ())                                                                         \
  /* 70 */ X(get_IsSuspended, (BOOL * isSuspended))                                              \
  /* 71 */ X(                                                                                    \
      SetVirtualHostNameToFolderMapping,                                                         \
      (LPCWSTR hostName, LPCWSTR folderPath, COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND accessKind)) \
  /* 72 */ X(ClearVirtualHostNameToFolderMapping, (LPCWSTR hostName))

#define KESTRUNE_WV2_SETTINGS(X)                                                         \
  /* 3 */ X(get_IsScriptEnabled, (BOOL * isScriptEnabled))                               \
  /* 4 */ X(put_IsScriptEnabled, (BOOL isScriptEnabled))                                 \
  /* 5 */ X(get_IsWebMessageEnabled, (BOOL * isWebMessageEnabled))                       \
  /* 6 */ X(put_IsWebMessageEnabled, (BOOL isWebMessageEnabled))                         \
  /* 7 */ X(get_AreDefaultScriptDialogsEnabled, (BOOL * areDefaultScriptDialogsEnabled)) \
  /* 8 */ X(put_AreDefaultScriptDialogsEnabled, (BOOL areDefaultScriptDialogsEnabled))   \
  /* 9 */ X(get_IsStatusBarEnabled, (BOOL * isStatusBarEnabled))                         \
  /* 10 */ X(put_IsStatusBarEnabled, (BOOL isStatusBarEnabled))                          \
  /* 11 */ X(get_AreDevToolsEnabled, (BOOL * areDevToolsEnabled))                        \
  /* 12 */ X(put_AreDevToolsEnabled, (BOOL areDevToolsEnabled))                          \
  /* 13 */ X(get_AreDefaultContextMenusEnabled, (BOOL * enabled))                        \
  /* 14 */ X(put_AreDefaultContextMenusEnabled, (BOOL enabled))                          \
  /* 15 */ X(get_AreHostObjectsAllowed, (BOOL * allowed))                                \
  /* 16 */ X(put_AreHostObjectsAllowed, (BOOL allowed))                                  \
  /* 17 */ X(get_IsZoomControlEnabled, (BOOL * enabled))                                 \
  /* 18 */ X(put_IsZoomControlEnabled, (BOOL enabled))                                   \
  /* 19 */ X(get_IsBuiltInErrorPageEnabled, (BOOL * enabled))                            \
  /* 20 */ X(put_IsBuiltInErrorPageEnabled, (BOOL enabled))

#define KESTRUNE_WV2_SETTINGS2(X)             \
  /* 21 */ X(get_UserAgent, (LPWSTR * value)) \
  /* 22 */ X(put_UserAgent, (LPCWSTR value))

#define KESTRUNE_WV2_SETTINGS3(X)                                  \
  /* 23 */ X(get_AreBrowserAcceleratorKeysEnabled, (BOOL * value)) \
  /* 24 */ X(put_AreBrowserAcceleratorKeysEnabled, (BOOL value))

#define KESTRUNE_WV2_SETTINGS4(X)                           \
  /* 25 */ X(get_IsPasswordAutosaveEnabled, (BOOL * value)) \
  /* 26 */ X(put_IsPasswordAutosaveEnabled, (BOOL value))   \
  /* 27 */ X(get_IsGeneralAutofillEnabled, (BOOL * value))  \
  /* 28 */ X(put_IsGeneralAutofillEnabled, (BOOL value))

#define KESTRUNE_WV2_SETTINGS5(X)                    \
  /* 29 */ X(get_IsPinchZoomEnabled, (BOOL * value)) \
  /* 30 */ X(put_IsPinchZoomEnabled, (BOOL value))

#define KESTRUNE_WV2_SETTINGS6(X)                          \
  /* 31 */ X(get_IsSwipeNavigationEnabled, (BOOL * value)) \
  /* 32 */ X(put_IsSwipeNavigationEnabled, (BOOL value))

#define KESTRUNE_WV2_SETTINGS7(X)                                                 \
  /* 33 */ X(get_HiddenPdfToolbarItems, (COREWEBVIEW2_PDF_TOOLBAR_ITEMS * value)) \
  /* 34 */ X(put_HiddenPdfToolbarItems, (COREWEBVIEW2_PDF_TOOLBAR_ITEMS value))

#define KESTRUNE_WV2_SETTINGS8(X)                              \
  /* 35 */ X(get_IsReputationCheckingRequired, (BOOL * value)) \
  /* 36 */ X(put_IsReputationCheckingRequired, (BOOL value))

#define KESTRUNE_WV2_SETTINGS9(X)                                 \
  /* 37 */ X(get_IsNonClientRegionSupportEnabled, (BOOL * value)) \
  /* 38 */ X(put_IsNonClientRegionSupportEnabled, (BOOL value))

#define KESTRUNE_WV2_WEB_MESSAGE_ARGS(X)            \
  /* 3 */ X(get_Source, (LPWSTR * value))           \
  /* 4 */ X(get_WebMessageAsJson, (LPWSTR * value)) \
  /* 5 */ X(TryGetWebMessageAsString, (LPWSTR * value))

#define KESTRUNE_WV2_NEW_WINDOW_ARGS(X)                       \
  /* 3 */ X(get_Uri, (LPWSTR * uri))                          \
  /* 4 */ X(put_NewWindow, (ICoreWebView2 * newWindow))       \
  /* 5 */ X(get_NewWindow, (ICoreWebView2 * *newWindow))      \
  /* 6 */ X(put_Handled, (BOOL handled))                      \
  /* 7 */ X(get_Handled, (BOOL * handled))                    \
  /* 8 */ X(get_IsUserInitiated, (BOOL * isUserInitiated))    \
  /* 9 */ X(GetDeferral, (ICoreWebView2Deferral * *deferral)) \
  /* 10 */ X(get_WindowFeatures, (ICoreWebView2WindowFeatures * *value))

#define KESTRUNE_WV2_NAVIGATION_STARTING_ARGS(X)                                     \
  /* 3 */ X(get_Uri, (LPWSTR * uri))                                                 \
  /* 4 */ X(get_IsUserInitiated, (BOOL * isUserInitiated))                           \
  /* 5 */ X(get_IsRedirected, (BOOL * isRedirected))                                 \
  /* 6 */ X(get_RequestHeaders, (ICoreWebView2HttpRequestHeaders * *requestHeaders)) \
  /* 7 */ X(get_Cancel, (BOOL * cancel))                                             \
  /* 8 */ X(put_Cancel, (BOOL cancel))                                               \
  /* 9 */ X(get_NavigationId, (UINT64 * navigationId))

#define KESTRUNE_WV2_PURE(name, params) virtual HRESULT STDMETHODCALLTYPE name params = 0;

struct ICoreWebView2Environment : IUnknown {
  KESTRUNE_WV2_ENVIRONMENT(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Controller : IUnknown {
  KESTRUNE_WV2_CONTROLLER(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Controller2 : ICoreWebView2Controller {
  KESTRUNE_WV2_CONTROLLER2(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2 : IUnknown {
  KESTRUNE_WV2_WEBVIEW(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2_2 : ICoreWebView2 {
  KESTRUNE_WV2_WEBVIEW_2(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2_3 : ICoreWebView2_2 {
  KESTRUNE_WV2_WEBVIEW_3(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Settings : IUnknown {
  KESTRUNE_WV2_SETTINGS(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Settings2 : ICoreWebView2Settings {
  KESTRUNE_WV2_SETTINGS2(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Settings3 : ICoreWebView2Settings2 {
  KESTRUNE_WV2_SETTINGS3(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Settings4 : ICoreWebView2Settings3 {
  KESTRUNE_WV2_SETTINGS4(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Settings5 : ICoreWebView2Settings4 {
  KESTRUNE_WV2_SETTINGS5(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Settings6 : ICoreWebView2Settings5 {
  KESTRUNE_WV2_SETTINGS6(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Settings7 : ICoreWebView2Settings6 {
  KESTRUNE_WV2_SETTINGS7(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Settings8 : ICoreWebView2Settings7 {
  KESTRUNE_WV2_SETTINGS8(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2Settings9 : ICoreWebView2Settings8 {
  KESTRUNE_WV2_SETTINGS9(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2WebMessageReceivedEventArgs : IUnknown {
  KESTRUNE_WV2_WEB_MESSAGE_ARGS(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
  KESTRUNE_WV2_NEW_WINDOW_ARGS(KESTRUNE_WV2_PURE)
};
struct ICoreWebView2NavigationStartingEventArgs : IUnknown {
  KESTRUNE_WV2_NAVIGATION_STARTING_ARGS(KESTRUNE_WV2_PURE)
};

// The handlers the app implements: one Invoke at slot 3.
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Environment* result) = 0;
};
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Controller* result) = 0;
};
struct ICoreWebView2WebMessageReceivedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2WebMessageReceivedEventArgs* args) = 0;
};
struct ICoreWebView2NewWindowRequestedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2NewWindowRequestedEventArgs* args) = 0;
};
struct ICoreWebView2NavigationStartingEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2NavigationStartingEventArgs* args) = 0;
};

// The loader's one export the app uses (C linkage, __stdcall).
using CreateEnvironmentWithOptionsFn = HRESULT(STDAPICALLTYPE*)(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder, IUnknown* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);

inline constexpr wchar_t kLoaderFileName[] = L"WebView2Loader.dll";
inline constexpr char kCreateEnvironmentExport[] = "CreateCoreWebView2EnvironmentWithOptions";

}  // namespace kestrune::webview2

// IIDs, for __uuidof (mingw keeps them outside any namespace).
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                0x4e8a3389, 0xc9d8, 0x4bd2, 0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2Environment, 0xb96d755e, 0x0319, 0x4e92, 0xa2,
                0x96, 0x23, 0x43, 0x6f, 0x46, 0xa1, 0xfc)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                0x6c4819f3, 0xc9b7, 0x4260, 0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2Controller, 0x4d00c0d1, 0x9434, 0x4eb6, 0x80, 0x78,
                0x86, 0x97, 0xa5, 0x60, 0x33, 0x4f)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2Controller2, 0xc979903e, 0xd4ca, 0x4228, 0x92,
                0xeb, 0x47, 0xee, 0x3f, 0xa9, 0x6e, 0xab)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2, 0x76eceacb, 0x0462, 0x4d94, 0xac, 0x83, 0x42,
                0x3a, 0x67, 0x93, 0x77, 0x5e)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2_2, 0x9e8f0cf8, 0xe670, 0x4b5e, 0xb2, 0xbc, 0x73,
                0xe0, 0x61, 0xe3, 0x18, 0x4c)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2_3, 0xa0d6df20, 0x3b92, 0x416d, 0xaa, 0x0c, 0x43,
                0x7a, 0x9c, 0x72, 0x78, 0x57)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2Settings, 0xe562e4f0, 0xd7fa, 0x43ac, 0x8d, 0x71,
                0xc0, 0x51, 0x50, 0x49, 0x9f, 0x00)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2Settings3, 0xfdb5ab74, 0xaf33, 0x4854, 0x84, 0xf0,
                0x0a, 0x63, 0x1d, 0xeb, 0x5e, 0xba)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2Settings9, 0x0528a73b, 0xe92d, 0x49f4, 0x92, 0x7a,
                0xe5, 0x47, 0xdd, 0xda, 0xa3, 0x7d)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2WebMessageReceivedEventHandler, 0x57213f19, 0x00e6,
                0x49fa, 0x8e, 0x07, 0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2WebMessageReceivedEventArgs, 0x0f99a40c, 0xe962,
                0x4207, 0x9e, 0x92, 0xe3, 0xd5, 0x42, 0xef, 0xf8, 0x49)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2NewWindowRequestedEventHandler, 0xd4c185fe, 0xc81c,
                0x4989, 0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2NewWindowRequestedEventArgs, 0x34acb11c, 0xfc37,
                0x4418, 0x91, 0x32, 0xf9, 0xc2, 0x1d, 0x1e, 0xaf, 0xb9)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2NavigationStartingEventHandler, 0x9adbe429, 0xf36d,
                0x432b, 0x9d, 0xdc, 0xf8, 0x88, 0x1f, 0xbd, 0x76, 0xe3)
__CRT_UUID_DECL(kestrune::webview2::ICoreWebView2NavigationStartingEventArgs, 0x5b495469, 0xe119,
                0x438a, 0x9b, 0x18, 0x76, 0x04, 0xf2, 0x5f, 0x2e, 0x49)
