#include "service/pipe_server_win32.h"

#include <sddl.h>

#include <atomic>

#include "common/names.h"

namespace kestrune::service {

namespace {

// The pipe's descriptor, made once.
class PipeSecurity {
 public:
  PipeSecurity() {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSddl, SDDL_REVISION_1, &sd,
                                                               nullptr)) {
      descriptor_.reset(sd);
    }
    attributes_ = SECURITY_ATTRIBUTES{sizeof(attributes_), descriptor_.get(), FALSE};
  }
  // Null (the default security) when the descriptor could not be made.
  SECURITY_ATTRIBUTES* get() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  UniqueLocal descriptor_;
  SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace

struct PipeServer::Shared {
  Shared(CommandHost& h, const PipeLimits& l) : host(h), limits(l) {}
  CommandHost& host;
  const PipeLimits limits;
  std::atomic<long> live{0};
  PipeSecurity security;  // [pipe server] only
};

namespace {

// Dispatch needs little stack; a small reservation keeps a full house of
// connection threads cheap.
constexpr SIZE_T kConnectionStackBytes = 256 * 1024;
constexpr DWORD kFirstInstanceRetryMs = 50;

UniqueFileHandle createInstance(PipeServer::Shared& shared, bool first) {
  const DWORD openMode =
      PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
  return UniqueFileHandle(::CreateNamedPipeW(kPipeNameW, openMode, kPipeMode,
                                             PIPE_UNLIMITED_INSTANCES, kPipeOutBufferBytes,
                                             kPipeInBufferBytes, 0, shared.security.get()));
}

// Whether some instance of the name exists. Wine ignores
// FILE_FLAG_FIRST_PIPE_INSTANCE, so a holder is looked for as a client.
bool nameHeld() {
  UniqueFileHandle probe(
      ::CreateFileW(kPipeNameW, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (probe) return true;
  const DWORD error = ::GetLastError();
  return error == ERROR_PIPE_BUSY || error == ERROR_ACCESS_DENIED;
}

// One overlapped read or write on a connection, given up after `timeoutMs`.
// The pipe's handle is opened for overlapped I/O, so every transfer goes
// through here.
bool transfer(HANDLE pipe, HANDLE event, bool write, void* data, DWORD size, DWORD& done,
              DWORD timeoutMs) {
  OVERLAPPED ov{};
  ov.hEvent = event;
  const BOOL started = write ? ::WriteFile(pipe, data, size, nullptr, &ov)
                             : ::ReadFile(pipe, data, size, nullptr, &ov);
  if (!started && ::GetLastError() != ERROR_IO_PENDING) return false;
  if (!started && ::WaitForSingleObject(event, timeoutMs) != WAIT_OBJECT_0) {
    ::CancelIoEx(pipe, &ov);
  }
  // Waits for a cancelled transfer too: `ov` must outlive it.
  return ::GetOverlappedResult(pipe, &ov, &done, TRUE) != FALSE;
}

void serveConnection(HANDLE pipe, PipeServer::Shared& shared) {
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) return;
  const PipeLimits& limits = shared.limits;
  char request[kMaxRequestBytes];
  DWORD read = 0;
  // A message longer than the buffer fails with ERROR_MORE_DATA: no reply.
  if (!transfer(pipe, event.get(), false, request, sizeof(request), read, limits.requestTimeoutMs))
    return;
  std::string reply = dispatchRequest(std::string_view(request, read), shared.host);
  DWORD written = 0;
  if (!transfer(pipe, event.get(), true, reply.data(), static_cast<DWORD>(reply.size()), written,
                limits.replyTimeoutMs)) {
    return;
  }
  // The client has taken the reply once it closes its end (this read then
  // fails with ERROR_BROKEN_PIPE); disconnecting earlier would throw away
  // what it has not read yet.
  char more = 0;
  DWORD got = 0;
  transfer(pipe, event.get(), false, &more, sizeof(more), got, limits.replyTimeoutMs);
}

struct Connection {
  std::shared_ptr<PipeServer::Shared> shared;
  UniqueFileHandle pipe;
};

// [connection]
DWORD WINAPI connectionMain(void* param) {
  std::unique_ptr<Connection> c(static_cast<Connection*>(param));
  serveConnection(c->pipe.get(), *c->shared);
  ::DisconnectNamedPipe(c->pipe.get());
  c->pipe.reset();
  c->shared->live.fetch_sub(1);
  return 0;
}

// Serves a connected instance on a thread of its own, or closes it at once
// when the connection threads are at their bound.
void handOver(UniqueFileHandle pipe, const std::shared_ptr<PipeServer::Shared>& shared) {
  if (shared->live.load() >= shared->limits.maxConnections) {
    ::DisconnectNamedPipe(pipe.get());
    return;
  }
  auto c = std::make_unique<Connection>(Connection{shared, std::move(pipe)});
  shared->live.fetch_add(1);
  HANDLE thread = ::CreateThread(nullptr, kConnectionStackBytes, connectionMain, c.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!thread) {
    shared->live.fetch_sub(1);
    ::DisconnectNamedPipe(c->pipe.get());
    return;
  }
  c.release();
  ::CloseHandle(thread);
}

// One instance waiting for a client. The wait is asked for as soon as the
// instance exists: Wine lets a client connect only to an instance whose
// server has called ConnectNamedPipe, and finds the name missing otherwise.
class Listener {
 public:
  Listener(UniqueFileHandle pipe, const PipeLimits& limits) : pipe_(std::move(pipe)) {
    overlapped_.hEvent = event_.get();
    if (!event_) {
      error_ = ::GetLastError();
      return;
    }
    if (limits.connectFault) {
      if (const DWORD fault = limits.connectFault()) {
        error_ = fault;
        return;
      }
    }
    if (::ConnectNamedPipe(pipe_.get(), &overlapped_)) {
      state_ = State::Connected;
      return;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_PENDING) {
      state_ = State::Pending;
    } else if (error == ERROR_PIPE_CONNECTED) {
      state_ = State::Connected;
    } else {
      error_ = error;
    }
  }
  ~Listener() {
    if (state_ != State::Pending) return;
    // The system writes into `overlapped_` until the wait is over.
    ::CancelIoEx(pipe_.get(), &overlapped_);
    DWORD done = 0;
    ::GetOverlappedResult(pipe_.get(), &overlapped_, &done, TRUE);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // True once a client is connected; false when stopped or failed.
  bool waitForClient(HANDLE stopEvent, bool& stopped) {
    stopped = false;
    if (state_ != State::Pending) return state_ == State::Connected;
    const HANDLE waits[2] = {stopEvent, event_.get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
      stopped = true;
      return false;
    }
    DWORD done = 0;
    if (::GetOverlappedResult(pipe_.get(), &overlapped_, &done, FALSE)) {
      state_ = State::Connected;
    } else {
      state_ = State::Failed;
      error_ = ::GetLastError();
    }
    return state_ == State::Connected;
  }
  // A client that connected and closed before it was waited for; nothing
  // is wrong with the server then.
  bool failedByClient() const { return error_ == ERROR_NO_DATA; }
  UniqueFileHandle take() { return std::move(pipe_); }

 private:
  enum class State { Pending, Connected, Failed };
  UniqueFileHandle pipe_;
  UniqueHandle event_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  OVERLAPPED overlapped_{};
  State state_ = State::Failed;
  DWORD error_ = NO_ERROR;
};

std::unique_ptr<Listener> listen(UniqueFileHandle pipe, const PipeServer::Shared& shared) {
  if (!pipe) return nullptr;
  return std::make_unique<Listener>(std::move(pipe), shared.limits);
}

}  // namespace

PipeServer::PipeServer(HANDLE stopEvent, CommandHost& host, const PipeLimits& limits)
    : stopEvent_(stopEvent), shared_(std::make_shared<Shared>(host, limits)) {}

PipeServer::~PipeServer() { join(); }

bool PipeServer::start(std::string& message) {
  const ULONGLONG deadline = ::GetTickCount64() + shared_->limits.firstInstanceWaitMs;
  for (;;) {
    const bool held = nameHeld();
    if (!held) first_ = createInstance(*shared_, true);
    if (first_) break;
    const DWORD error = ::GetLastError();
    if (::GetTickCount64() >= deadline) {
      message = held || error == ERROR_ACCESS_DENIED
                    ? "another program holds the control pipe " + std::string(kPipeNameA)
                    : "cannot create the control pipe (error " + std::to_string(error) + ")";
      return false;
    }
    ::Sleep(kFirstInstanceRetryMs);
  }
  thread_.reset(::CreateThread(nullptr, 0, &PipeServer::threadMain, this, 0, nullptr));
  if (!thread_) {
    message = "cannot start the control pipe (error " + std::to_string(::GetLastError()) + ")";
    first_.reset();
    return false;
  }
  return true;
}

void PipeServer::join() {
  if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

long PipeServer::liveConnections() const { return shared_->live.load(); }

DWORD WINAPI PipeServer::threadMain(void* self) {
  static_cast<PipeServer*>(self)->serve();
  return 0;
}

void PipeServer::serve() {
  std::unique_ptr<Listener> listening = listen(std::move(first_), *shared_);
  // Checked on every round: clients that connect at once, one after the
  // other, would otherwise keep the server from ever looking.
  while (::WaitForSingleObject(stopEvent_, 0) != WAIT_OBJECT_0) {
    if (!listening) listening = listen(createInstance(*shared_, false), *shared_);
    bool stopped = false;
    if (!listening || !listening->waitForClient(stopEvent_, stopped)) {
      if (stopped) return;
      // Anything but a client's doing would fail again at once: pause, but
      // on the stop event.
      const bool byClient = listening && listening->failedByClient();
      listening.reset();
      if (!byClient && ::WaitForSingleObject(stopEvent_, kPipeCreateRetryMs) == WAIT_OBJECT_0)
        return;
      continue;
    }
    // The next instance listens before this client is served, so that no
    // client ever finds the name missing or busy in between.
    std::unique_ptr<Listener> next = listen(createInstance(*shared_, false), *shared_);
    handOver(listening->take(), shared_);
    listening = std::move(next);
  }
}

}  // namespace kestrune::service
