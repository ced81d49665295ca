// kestrune_ctl: one pipe command per run. The reply goes to standard output
// byte for byte (WriteFile, not the C runtime's text mode, which would turn
// "\n" into "\r\n").
#include <windows.h>
// These need windows.h included before them.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/handles_win32.h"
#include "common/names.h"
#include "common/utf8_win32.h"
#include "ctl/command_text.h"
#include "ctl/pipe_call_win32.h"

namespace {

// The arguments in UTF-8, as the service reads them. The C runtime's argv is
// in the ANSI code page, where a name outside it (a game's file name, say)
// has already lost its letters.
std::vector<std::string> utf8Arguments() {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  kestrune::UniqueLocal owned(wide);
  std::vector<std::string> args;
  for (int i = 0; wide && i < count; ++i) args.push_back(kestrune::wideToUtf8(wide[i]));
  return args;
}

}  // namespace

int main() {
  using namespace kestrune::ctl;
  const std::vector<std::string> args = utf8Arguments();
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  const std::string command = buildCommandText(static_cast<int>(argv.size()), argv.data());
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
