// A tiny control-pipe stand-in: message mode, one request and one reply per
// connection, answering with whatever the test's function returns.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrune::test {

class PipeServerFixture {
 public:
  using Responder = std::function<std::string(const std::string& request)>;

  PipeServerFixture(std::wstring pipeName, Responder responder);
  ~PipeServerFixture();
  PipeServerFixture(const PipeServerFixture&) = delete;
  PipeServerFixture& operator=(const PipeServerFixture&) = delete;

  // Requests received so far, in order.
  std::vector<std::string> requests() const;

 private:
  void serve();

  std::wstring pipeName_;
  Responder responder_;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  HANDLE ready_;
  std::thread thread_;
};

}  // namespace kestrune::test
