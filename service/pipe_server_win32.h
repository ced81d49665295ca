// The control pipe's server. One instance always listens: the next one is
// created before a connected client is served, on a thread of its own. The
// connections are bounded in number and in how long a client may take to
// send its request and to take its reply, so that no client can keep the
// others from being served or the service from stopping.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "common/handles_win32.h"
#include "service/dispatcher.h"

namespace kestrune::service {

// Pipe mode 14: message type and read mode, remote clients rejected, blocking.
inline constexpr DWORD kPipeMode =
    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_REJECT_REMOTE_CLIENTS | PIPE_WAIT;
static_assert(kPipeMode == 14);
inline constexpr DWORD kPipeOutBufferBytes = 65536;
inline constexpr DWORD kPipeInBufferBytes = 4096;
inline constexpr DWORD kPipeCreateRetryMs = 1000;
// System and administrators: all access. Authenticated users: read, write
// data and write attributes (0x12018b, what common/pipe_transact_win32.h
// asks for), not FILE_APPEND_DATA: on a pipe that is the right to create an
// instance, with which any user could answer the service's clients.
inline constexpr wchar_t kPipeSddl[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012018b;;;AU)";
static_assert((FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES) == 0x0012018b);
static_assert((0x0012018b & FILE_CREATE_PIPE_INSTANCE) == 0);

struct PipeLimits {
  DWORD requestTimeoutMs = 5000;  // from the connection to the whole request
  DWORD replyTimeoutMs = 5000;    // for writing the reply, then again for the client to close
  // Connection threads alive at once; more are closed at once. Far above
  // what the app and scripts open, and at 256 KiB of stack reservation each
  // at most 80 MiB of address space.
  long maxConnections = 320;
  // An earlier run of ours may still be closing its last instances.
  DWORD firstInstanceWaitMs = 3000;
  // Tests only: when set, every wait for a client fails at once with the
  // error it gives (0: the real wait).
  std::function<DWORD()> connectFault;
};

class PipeServer {
 public:
  // `host` must outlive every connection thread (they are not joined).
  PipeServer(HANDLE stopEvent, CommandHost& host, const PipeLimits& limits = {});
  // Joins a started server thread: the stop event must be signalled by then.
  ~PipeServer();
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;

  // Creates the first instance and starts the server thread. False, with
  // `message`, when another program holds the pipe's name (it would get the
  // clients' commands) or the pipe or thread cannot be made.
  bool start(std::string& message);
  // After the stop event is signalled: waits for the server thread to end.
  // Connections being served finish on their own within their time limits.
  void join();
  // Connection threads alive now.
  long liveConnections() const;

  struct Shared;  // what the connection threads share with the server

 private:
  static DWORD WINAPI threadMain(void* self);
  void serve();

  HANDLE stopEvent_;
  std::shared_ptr<Shared> shared_;
  UniqueFileHandle first_;  // made by start, listened on by the thread
  UniqueHandle thread_;
};

}  // namespace kestrune::service
