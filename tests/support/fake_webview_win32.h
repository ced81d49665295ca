// The test's end of the fake WebView2Loader.dll built in tests/app: points
// the fake loaded by a kestrune_app started from this process at a fresh
// call log, reads that log, and plays the page's part (messages, navigation,
// new windows). The log has one call per line, fields separated by TAB,
// bytes below 0x20 and "%" as %XX; the app's messages to the page are the
// lines "PostWebMessageAsJson<TAB><json>".
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace kestrune::test {

using FakeCall = std::vector<std::string>;  // call name, then its arguments (UTF-8)

class FakeWebView {
 public:
  // Sets the fake's variables for children started from now on; `mode` is
  // "" (a working control), "sync-fail", "environment-fail",
  // "controller-fail" or "no-optional".
  explicit FakeWebView(const std::wstring& mode = L"");
  ~FakeWebView();  // clears the variables and deletes the log
  FakeWebView(const FakeWebView&) = delete;
  FakeWebView& operator=(const FakeWebView&) = delete;

  std::vector<FakeCall> calls() const;
  // The JSON texts the app has posted to the page, in order.
  std::vector<std::string> pageMessages() const;
  // Waits until `done` holds for the calls so far; false after `timeoutMs`.
  bool waitFor(const std::function<bool(const std::vector<FakeCall>&)>& done,
               DWORD timeoutMs = 10000) const;

  // The page's side; each returns the fake's reply (0: no handler yet; bit 1
  // handlers ran; bit 2 the navigation was cancelled or the window handled).
  LRESULT postString(const std::string& source, const std::string& text) const;
  LRESULT postValue(const std::string& source, const std::string& json) const;
  LRESULT navigate(const std::string& uri) const;
  LRESULT requestWindow(const std::string& uri) const;

 private:
  LRESULT send(ULONG_PTR kind, const std::string& text) const;
  std::wstring logPath_;
};

// The fields of calls named `name`, in order.
std::vector<FakeCall> callsNamed(const std::vector<FakeCall>& calls, const std::string& name);
// Index of the first call named `name` (and with `argument` as its first
// argument when given), or -1.
int indexOf(const std::vector<FakeCall>& calls, const std::string& name,
            const std::string* argument = nullptr);

}  // namespace kestrune::test
