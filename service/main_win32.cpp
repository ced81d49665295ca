// kestrune_service: the Windows service "KestruneService", its `run` mode and
// the product's installer.
#include <windows.h>
// These need windows.h included before them.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/handles_win32.h"
#include "service/elevation_win32.h"
#include "service/service_main_win32.h"

int main() {
  // Console lines are exact bytes: no "\r" may be inserted before "\n".
  _setmode(_fileno(stdout), _O_BINARY);
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  kestrune::UniqueLocal owned(argv);
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(argv[i]);
  kestrune::service::SystemElevation elevation;
  return kestrune::service::runServiceProgram(args, elevation);
}
