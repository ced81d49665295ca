// The control pipe's server: one instance at a time waits for a client, each
// connection is served by its own detached thread (one request, one reply).
#pragma once

#include <windows.h>

#include "service/dispatcher.h"

namespace kestrune::service {

// Pipe mode 14: message type and read mode, remote clients rejected, blocking.
inline constexpr DWORD kPipeMode =
    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_REJECT_REMOTE_CLIENTS | PIPE_WAIT;
static_assert(kPipeMode == 14);
inline constexpr DWORD kPipeOutBufferBytes = 65536;
inline constexpr DWORD kPipeInBufferBytes = 4096;
inline constexpr DWORD kPipeCreateRetryMs = 1000;
inline constexpr wchar_t kPipeSddl[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;AU)";

// [pipe server] Runs until `stopEvent` is signalled and a connection (or a
// failed instance) lets the loop see it. `host` must outlive every
// connection thread, which are not joined.
void runPipeServer(HANDLE stopEvent, CommandHost& host);

// Starts runPipeServer on a new thread; null when the thread cannot start.
HANDLE startPipeServerThread(HANDLE stopEvent, CommandHost& host);

// Connects once as a client and closes at once, so a server blocked in
// ConnectNamedPipe wakes and sees the stop event.
void wakePipeServer();

// After the stop event is signalled: wakes the server thread until it has
// ended. One wake-up is not enough when it finds no instance because the
// server is just between its stop check and creating the next one; that
// server would then wait for a client forever.
void stopPipeServer(HANDLE serverThread);

}  // namespace kestrune::service
