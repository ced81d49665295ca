#include "tests/support/fake_webview_win32.h"

#include <fstream>
#include <sstream>

namespace kestrune::test {

namespace {

constexpr wchar_t kLogVariable[] = L"KESTRUNE_FAKE_WEBVIEW2_LOG";
constexpr wchar_t kModeVariable[] = L"KESTRUNE_FAKE_WEBVIEW2_MODE";

std::string unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '%' && i + 2 < field.size()) {
      out += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += field[i];
    }
  }
  return out;
}

}  // namespace

FakeWebView::FakeWebView(const std::wstring& mode) {
  static int serial = 0;
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  logPath_ = std::wstring(temp) + L"kestrune_fake_webview2_" +
             std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++serial) + L".log";
  ::DeleteFileW(logPath_.c_str());
  ::SetEnvironmentVariableW(kLogVariable, logPath_.c_str());
  ::SetEnvironmentVariableW(kModeVariable, mode.empty() ? nullptr : mode.c_str());
}

FakeWebView::~FakeWebView() {
  ::SetEnvironmentVariableW(kLogVariable, nullptr);
  ::SetEnvironmentVariableW(kModeVariable, nullptr);
  ::DeleteFileW(logPath_.c_str());
}

std::vector<FakeCall> FakeWebView::calls() const {
  std::vector<FakeCall> out;
  std::ifstream file(logPath_.c_str(), std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    FakeCall call;
    std::stringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t')) call.push_back(unescape(field));
    if (!call.empty()) out.push_back(std::move(call));
  }
  return out;
}

std::vector<std::string> FakeWebView::pageMessages() const {
  std::vector<std::string> out;
  for (const FakeCall& call : callsNamed(calls(), "PostWebMessageAsJson")) {
    out.push_back(call.size() > 1 ? call[1] : "");
  }
  return out;
}

bool FakeWebView::waitFor(const std::function<bool(const std::vector<FakeCall>&)>& done,
                          DWORD timeoutMs) const {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (done(calls())) return true;
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(20);
  }
}

LRESULT FakeWebView::send(ULONG_PTR kind, const std::string& text) const {
  HWND control = nullptr;
  const ULONGLONG deadline = ::GetTickCount64() + 10000;
  while (!(control = ::FindWindowExW(HWND_MESSAGE, nullptr, L"KestruneFakeWebView2", nullptr)) &&
         ::GetTickCount64() < deadline) {
    ::Sleep(20);
  }
  if (!control) return 0;
  COPYDATASTRUCT data{kind, static_cast<DWORD>(text.size()), const_cast<char*>(text.data())};
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(control, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL,
                        10000, &result);
  return static_cast<LRESULT>(result);
}

LRESULT FakeWebView::postString(const std::string& source, const std::string& text) const {
  return send(1, source + "\t" + text);
}

LRESULT FakeWebView::postValue(const std::string& source, const std::string& json) const {
  return send(2, source + "\t" + json);
}

LRESULT FakeWebView::navigate(const std::string& uri) const { return send(3, uri); }

LRESULT FakeWebView::requestWindow(const std::string& uri) const { return send(4, uri); }

std::vector<FakeCall> callsNamed(const std::vector<FakeCall>& calls, const std::string& name) {
  std::vector<FakeCall> out;
  for (const FakeCall& call : calls) {
    if (call[0] == name) out.push_back(call);
  }
  return out;
}

int indexOf(const std::vector<FakeCall>& calls, const std::string& name,
            const std::string* argument) {
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i][0] != name) continue;
    if (argument && (calls[i].size() < 2 || calls[i][1] != *argument)) continue;
    return static_cast<int>(i);
  }
  return -1;
}

}  // namespace kestrune::test
