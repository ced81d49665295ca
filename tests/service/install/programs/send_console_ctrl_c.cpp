// Presses Ctrl+C on the console of the process whose id is the argument.
// Under Wine only an event raised from inside that console arrives, so this
// joins it and ignores the event itself. Exit code 0 when it was sent.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const DWORD processId = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  ::FreeConsole();
  if (!::AttachConsole(processId)) return 3;
  ::SetConsoleCtrlHandler(nullptr, TRUE);
  return ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) ? 0 : 4;
}
