// Attaches the effect and dies on the way, as a power loss would.
// Usage: attach_crash <endpoint-id> <full 0|1> <point>
// point 0 uses the attach's own crash test; point k > 0 terminates the
// process with exit code 99 at the k-th recoverable point. Without a crash
// it prints the number of points passed and exits 0 (attached) or 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "service/endpoints/effect_attach_win32.h"
#include "tests/support/wine_only_win32.h"

int main(int argc, char** argv) {
  if (!kestrune::test::allowedToRun()) return kestrune::test::kRefusedOutsideWine;
  if (argc != 4) return 2;
  const std::string idText = argv[1];  // test ids are ASCII
  const std::wstring id(idText.begin(), idText.end());
  const bool full = std::strcmp(argv[2], "1") == 0;
  const int crashAt = std::atoi(argv[3]);
  int points = 0;
  kestrune::service::AttachTestHooks hooks;
  hooks.stopAt = [&](const char*) {
    if (++points == crashAt) ::TerminateProcess(::GetCurrentProcess(), 99);
    return false;
  };
  hooks.restartAudio = [](std::string&) { return true; };
  kestrune::service::setAttachTestHooks(&hooks);
  std::string message;
  const bool ok = kestrune::service::AttachEffect(id, full, crashAt == 0, false, message);
  std::printf("%d\n", points);
  return ok ? 0 : 1;
}
