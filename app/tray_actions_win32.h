// What the tray does with the service: the status poll and the toggle on
// workers, the popup menu and Quit on the UI thread (their pipe calls block
// it for at most 600 ms, plus 1500 ms for switching off at Quit).
#pragma once

#include <windows.h>

namespace kestrune::app {

// Asks for the status on a worker and posts the tray state and tooltip.
void startStatusPoll(HWND window);

// On a worker: reads the status, flips `wanted`, then asks for a refresh
// that announces the new state. Does nothing when the status has no `wanted`.
void startToggle(HWND window);

// [ui] The popup menu at the cursor, and the chosen command.
void runTrayMenu(HWND window);

// [ui] Switches the effect off when it is on (remembering ResumeOn after the
// service said ok), then destroys the window, which ends the app.
void quitApp(HWND window);

}  // namespace kestrune::app
