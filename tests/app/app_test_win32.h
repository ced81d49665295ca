// What the app's Wine tests share: a service stand-in with a reply the test
// can change, the per-user keys restored afterwards, and small readers.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/app_messages_win32.h"
#include "common/names.h"
#include "tests/support/app_folder_win32.h"
#include "tests/support/fake_webview_win32.h"
#include "tests/support/scoped_registry_win32.h"
#include "tests/support/tray_observer_win32.h"

namespace kestrune::test {

inline constexpr char kStatusActive[] =
    "wanted=1\nmode=auto\ngame_running=1\nprocessing=1\nintensity=2\nendpoint={0.0.0.00000000}."
    "{e1}\ninstall_phase=2\nfull_fx=0\ndrift=0\ngames=TslGame.exe\ncomparing=0\n";
inline constexpr char kStatusOff[] =
    "wanted=0\nmode=auto\ngame_running=0\nprocessing=0\nintensity=2\nendpoint={0.0.0.00000000}."
    "{e1}\ninstall_phase=2\nfull_fx=0\ndrift=0\ngames=TslGame.exe\ncomparing=0\n";

// The control pipe's stand-in: "status" gets the current status text, every
// other command the command reply. Like the service, it keeps one instance listening at
// all times (the next one exists before the connected one is served), so
// the app's overlapping calls never find the pipe missing in between.
class ServiceStandIn {
 public:
  explicit ServiceStandIn(std::string status = kStatusOff) : status_(std::move(status)) {
    thread_ = std::thread([this] { serve(); });
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return listening_; });
  }
  ~ServiceStandIn() {
    stopping_ = true;
    HANDLE wake = ::CreateFileW(kPipeNameW, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (wake != INVALID_HANDLE_VALUE) ::CloseHandle(wake);
    thread_.join();
  }
  void setStatus(std::string status) {
    std::lock_guard lock(mutex_);
    status_ = std::move(status);
  }
  // The reply to every command but "status" (default "ok\n").
  void setCommandReply(std::string reply) {
    std::lock_guard lock(mutex_);
    commandReply_ = std::move(reply);
  }
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  // Requests other than the periodic "status".
  std::vector<std::string> commands() const {
    std::vector<std::string> out;
    for (const std::string& r : requests()) {
      if (r != "status") out.push_back(r);
    }
    return out;
  }
  bool received(const std::string& request) const {
    const auto all = requests();
    return std::find(all.begin(), all.end(), request) != all.end();
  }

 private:
  static HANDLE listen() {
    return ::CreateNamedPipeW(
        kPipeNameW, PIPE_ACCESS_DUPLEX,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, 65536, 4096, 0, nullptr);
  }
  void serve() {
    HANDLE next = listen();
    {
      std::lock_guard lock(mutex_);
      listening_ = true;
    }
    ready_.notify_all();
    while (!stopping_ && next != INVALID_HANDLE_VALUE) {
      HANDLE current = next;
      const bool connected =
          ::ConnectNamedPipe(current, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED;
      next = stopping_ ? INVALID_HANDLE_VALUE : listen();
      if (connected && !stopping_) answer(current);
      ::DisconnectNamedPipe(current);
      ::CloseHandle(current);
    }
    if (next != INVALID_HANDLE_VALUE) ::CloseHandle(next);
  }
  void answer(HANDLE pipe) {
    char buffer[4096];
    DWORD got = 0;
    if (!::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) return;
    const std::string request(buffer, got);
    std::string reply;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
      reply = request.starts_with("status") ? status_ : commandReply_;
    }
    DWORD written = 0;
    ::WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
    ::FlushFileBuffers(pipe);
  }

  mutable std::mutex mutex_;
  std::condition_variable ready_;
  bool listening_ = false;
  std::atomic<bool> stopping_{false};
  std::string status_;
  std::string commandReply_ = "ok\n";
  std::vector<std::string> requests_;
  std::thread thread_;
};

// HKCU\Software\Kestrune and the Run key as they were, after the test.
struct UserKeys {
  ScopedRegistryKey settings{HKEY_CURRENT_USER, kUserKeyPath};
  ScopedRegistryKey run{HKEY_CURRENT_USER, kRunKeyPath};
  UserKeys() {
    settings.erase();
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName);
  }
};

inline constexpr char kPageSource[] = "https://kestrune.example/index.html";

// A shell (tray), a service and clean per-user keys for every test; the app
// itself is an AppFolder inside the test, ended before these go.
class AppTest : public ::testing::Test {
 protected:
  // Starts `app` and returns its window; null when it did not appear.
  static HWND start(AppFolder& app, const std::wstring& args = L"") {
    return app.start(args) ? app.waitForWindow() : nullptr;
  }

  UserKeys keys_;
  TrayObserver tray_;
  ServiceStandIn service_;
};

// The web view exists and the page's handlers are registered.
inline bool pageLoaded(const FakeWebView& fake) {
  return fake.waitFor([](const auto& calls) { return indexOf(calls, "NavigationStarting") >= 0; });
}

// The whole content of a small file, or "" when it is missing.
inline std::string fileText(const std::wstring& path) {
  std::string out;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return out;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  ::CloseHandle(file);
  return out;
}

// The calls of the log without interface queries and the getters the app
// reads arguments with.
inline std::vector<FakeCall> withoutGetters(const std::vector<FakeCall>& calls) {
  std::vector<FakeCall> out;
  for (const FakeCall& call : calls) {
    const std::string& name = call[0];
    if (name == "get_Uri" || name == "get_Source" || name == "TryGetWebMessageAsString" ||
        name == "QueryInterface") {
      continue;
    }
    out.push_back(call);
  }
  return out;
}

}  // namespace kestrune::test
