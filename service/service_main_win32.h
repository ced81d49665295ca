// The service program's entry: console verbs, `run` mode and service mode.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "service/elevation.h"

namespace kestrune::service {

inline constexpr unsigned long kStopWaitHintMs = 5000;

// `args` without the program name. Returns the process exit code. The
// elevation port is a parameter so tests can play the non-elevated user.
int runServiceProgram(const std::vector<std::wstring>& args, ElevationPort& elevation);

// `run` mode: the service body in the foreground until a console control
// event stops it. 0 after the stop; 1, with a line on standard output, when
// the body could not start.
int runForeground();

// `run` mode's console control handler. Signals the stop; for closing,
// logoff and shutdown, after which the process ends as soon as the handler
// returns, it first waits (at most the stop wait hint) for the foreground
// run to finish its stop, so the effect is switched off.
BOOL WINAPI onConsoleControl(DWORD event);

}  // namespace kestrune::service
