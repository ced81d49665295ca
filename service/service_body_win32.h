// The work that service mode and `run` mode share: meter section, start-up
// recovery, control pipe, game watcher, and teardown in that order.
#pragma once

#include <windows.h>

#include <string>

#include "common/handles_win32.h"

namespace kestrune::service {

inline constexpr wchar_t kMeterSectionSddl[] =
    L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;LS)(A;;GR;;;AU)";

// Creates (or opens the still-existing) meter section and writes a new
// instance id, then the magic. Null when it cannot be created; a section that
// cannot be mapped is still returned, untouched.
UniqueHandle createMeterSection();

// Under the service lock: restores the endpoint when the journal says a change
// was interrupted (phase 1 or 3). The result is not reported.
void recoverInterruptedChange();

// Why the service body did not start: a Win32 error code for the service
// manager and a short message for the console.
struct StartFailure {
  DWORD error = NO_ERROR;
  std::string message;
};

// Runs until serviceState().stopEvent is signalled; returns true after the
// pipe server has been joined and the meter section closed. Returns false at
// once, with `failure` and the effect switched off as at a stop, when it
// cannot start: without a stop event the
// watcher could never be stopped, and a control pipe whose name another
// program holds would hand that program the clients' commands.
bool runServiceBody(StartFailure& failure);

}  // namespace kestrune::service
