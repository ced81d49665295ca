#include "app/service_pipe_win32.h"

#include "app/app_messages_win32.h"
#include "app/status_map.h"
#include "app/worker_win32.h"
#include "common/names.h"
#include "common/pipe_call_win32.h"

namespace kestrune::app {

namespace {

std::string call(const std::string& command, std::uint32_t timeoutMs, ReplyWait replyWait) {
  PipeCallResult result = callPipe(command, kPipeNameA, timeoutMs, replyWait);
  return result.ok ? std::move(result.reply) : std::string(kReplyNoService);
}

}  // namespace

std::string callService(const std::string& command, std::uint32_t timeoutMs) {
  return call(command, timeoutMs, ReplyWait::kUntilAnswered);
}

std::string callServiceOnUiThread(const std::string& command, std::uint32_t timeoutMs) {
  return call(command, timeoutMs, ReplyWait::kWithinDeadline);
}

void sendInBackground(HWND window, std::string command) {
  startWorker([window, command = std::move(command)] {
    callService(command, kCallTimeoutMs);
    ::PostMessageW(window, kMsgStatusRefresh, 0, 0);
  });
}

}  // namespace kestrune::app
