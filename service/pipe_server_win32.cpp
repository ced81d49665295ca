#include "service/pipe_server_win32.h"

#include <sddl.h>

#include <memory>
#include <string>

#include "common/handles_win32.h"
#include "common/names.h"

namespace kestrune::service {
namespace {

struct Connection {
  HANDLE pipe;
  CommandHost* host;
};

// [connection] Reads one message, answers it, and always closes the instance.
DWORD WINAPI serveConnection(void* param) {
  std::unique_ptr<Connection> c(static_cast<Connection*>(param));
  char request[kMaxRequestBytes];
  DWORD read = 0;
  // A message longer than the buffer fails with ERROR_MORE_DATA: no reply.
  if (::ReadFile(c->pipe, request, sizeof(request), &read, nullptr)) {
    const std::string reply = dispatchRequest(std::string_view(request, read), *c->host);
    DWORD written = 0;
    ::WriteFile(c->pipe, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
    // Returns once the client has read the reply, so disconnecting loses nothing.
    ::FlushFileBuffers(c->pipe);
  }
  ::DisconnectNamedPipe(c->pipe);
  ::CloseHandle(c->pipe);
  return 0;
}

void handOver(HANDLE pipe, CommandHost& host) {
  auto* c = new Connection{pipe, &host};
  HANDLE thread = ::CreateThread(nullptr, 0, serveConnection, c, 0, nullptr);
  if (!thread) {
    delete c;
    ::CloseHandle(pipe);
    return;
  }
  ::CloseHandle(thread);
}

struct ServerArgs {
  HANDLE stopEvent;
  CommandHost* host;
};

DWORD WINAPI serverThread(void* param) {
  std::unique_ptr<ServerArgs> args(static_cast<ServerArgs*>(param));
  runPipeServer(args->stopEvent, *args->host);
  return 0;
}

}  // namespace

void runPipeServer(HANDLE stopEvent, CommandHost& host) {
  UniqueLocal descriptor;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSddl, SDDL_REVISION_1, &sd,
                                                             nullptr)) {
    descriptor.reset(sd);
  }
  SECURITY_ATTRIBUTES sa{sizeof(sa), descriptor.get(), FALSE};
  SECURITY_ATTRIBUTES* security = descriptor ? &sa : nullptr;

  while (::WaitForSingleObject(stopEvent, 0) != WAIT_OBJECT_0) {
    UniqueFileHandle pipe(::CreateNamedPipeW(kPipeNameW, PIPE_ACCESS_DUPLEX, kPipeMode,
                                             PIPE_UNLIMITED_INSTANCES, kPipeOutBufferBytes,
                                             kPipeInBufferBytes, 0, security));
    if (!pipe) {
      ::Sleep(kPipeCreateRetryMs);
      continue;
    }
    if (!::ConnectNamedPipe(pipe.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) {
      continue;
    }
    if (::WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) continue;
    handOver(pipe.release(), host);
  }
}

HANDLE startPipeServerThread(HANDLE stopEvent, CommandHost& host) {
  auto* args = new ServerArgs{stopEvent, &host};
  HANDLE thread = ::CreateThread(nullptr, 0, serverThread, args, 0, nullptr);
  if (!thread) delete args;
  return thread;
}

void wakePipeServer() {
  UniqueFileHandle client(::CreateFileW(kPipeNameW, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
}

void stopPipeServer(HANDLE serverThread) {
  constexpr DWORD kWakeRetryMs = 20;
  do {
    wakePipeServer();
  } while (::WaitForSingleObject(serverThread, kWakeRetryMs) == WAIT_TIMEOUT);
}

}  // namespace kestrune::service
