// kestrune_app: the per-user desktop program (window, tray, hot key).
#include <windows.h>

#include "app/main_window_win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  return kestrune::app::runApp(instance, commandLine);
}
