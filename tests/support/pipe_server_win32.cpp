#include "tests/support/pipe_server_win32.h"

#include "common/handles_win32.h"

namespace kestrune::test {

PipeServerFixture::PipeServerFixture(std::wstring pipeName, Responder responder)
    : pipeName_(std::move(pipeName)),
      responder_(std::move(responder)),
      ready_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      thread_([this] { serve(); }) {
  // The first instance exists before the constructor returns, so a client
  // started right after finds the pipe.
  ::WaitForSingleObject(ready_, 10000);
}

PipeServerFixture::~PipeServerFixture() {
  stopping_ = true;
  // Wake a ConnectNamedPipe that is waiting for a client.
  HANDLE h = ::CreateFileW(pipeName_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  thread_.join();
  ::CloseHandle(ready_);
}

std::vector<std::string> PipeServerFixture::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void PipeServerFixture::serve() {
  while (!stopping_) {
    UniqueFileHandle pipe(::CreateNamedPipeW(
        pipeName_.c_str(), PIPE_ACCESS_DUPLEX,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, 65536, 4096, 0, nullptr));
    ::SetEvent(ready_);
    if (!pipe) return;
    if (!::ConnectNamedPipe(pipe.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) {
      continue;
    }
    if (stopping_) return;
    std::string request;
    char buffer[4096];
    for (;;) {
      DWORD got = 0;
      BOOL ok = ::ReadFile(pipe.get(), buffer, sizeof buffer, &got, nullptr);
      request.append(buffer, got);
      if (ok || ::GetLastError() != ERROR_MORE_DATA) break;
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const std::string reply = responder_(request);
    DWORD written = 0;
    ::WriteFile(pipe.get(), reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
    ::FlushFileBuffers(pipe.get());
    ::DisconnectNamedPipe(pipe.get());
  }
}

}  // namespace kestrune::test
