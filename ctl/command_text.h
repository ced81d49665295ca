// The command-line client's platform-free rules: what it sends and what its
// exit code says about the reply.
#pragma once

#include <string>
#include <string_view>

namespace kestrune::ctl {

// The program's arguments (without the program name; UTF-8, as the service
// reads them) joined by single spaces, bytes passed on unchanged; "status"
// when there are none or the result is empty.
std::string buildCommandText(int argc, const char* const* argv);

// 1 when the reply is at least five bytes and begins with "error", else 0.
int exitCodeForReply(std::string_view reply);

// Exit code when the service could not be reached.
inline constexpr int kExitNotReachable = 2;

}  // namespace kestrune::ctl
