#include "ctl/command_text.h"

namespace kestrune::ctl {

std::string buildCommandText(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  if (text.empty()) text = "status";
  return text;
}

int exitCodeForReply(std::string_view reply) {
  return reply.size() >= 5 && reply.substr(0, 5) == "error" ? 1 : 0;
}

}  // namespace kestrune::ctl
