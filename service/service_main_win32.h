// The service program's entry: console verbs, `run` mode and service mode.
#pragma once

#include <string>
#include <vector>

#include "service/elevation.h"

namespace kestrune::service {

inline constexpr unsigned long kStopWaitHintMs = 5000;

// `args` without the program name. Returns the process exit code. The
// elevation port is a parameter so tests can play the non-elevated user.
int runServiceProgram(const std::vector<std::wstring>& args, ElevationPort& elevation);

}  // namespace kestrune::service
