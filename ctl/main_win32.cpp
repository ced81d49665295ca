// kestrune_ctl: one pipe command per run. The reply goes to standard output
// byte for byte (WriteFile, not the C runtime's text mode, which would turn
// "\n" into "\r\n").
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "common/names.h"
#include "ctl/command_text.h"
#include "ctl/pipe_call_win32.h"

int main(int argc, char** argv) {
  using namespace kestrune::ctl;
  const std::string command = buildCommandText(argc, argv);
  const PipeCallResult result = callPipe(command, kestrune::kPipeNameA, kReachTimeoutMs);
  if (!result.ok) {
    _setmode(_fileno(stderr), _O_BINARY);  // the message ends in a bare line feed
    std::fprintf(stderr, "Kestrune service not reachable (error %lu)\n", result.error);
    return kExitNotReachable;
  }
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const char* data = result.reply.data();
  DWORD left = static_cast<DWORD>(result.reply.size());
  while (left > 0) {
    DWORD written = 0;
    if (!::WriteFile(out, data, left, &written, nullptr) || written == 0) break;
    data += written;
    left -= written;
  }
  return exitCodeForReply(result.reply);
}
