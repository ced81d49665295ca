// The control-pipe transaction, shared with the desktop app.
#pragma once

#include <cstdint>

#include "common/pipe_call_win32.h"

namespace kestrune::ctl {

using kestrune::callPipe;
using kestrune::PipeCallResult;

inline constexpr std::uint64_t kReachTimeoutMs = 30000;

}  // namespace kestrune::ctl
