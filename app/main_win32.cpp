// kestrune_app entry (window, tray and web view arrive with the desktop app).
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
