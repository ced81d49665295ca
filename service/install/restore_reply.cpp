#include "service/install/restore_reply.h"

#include "service/dispatcher.h"

namespace kestrune::service {

ServiceRestore readRestoreReply(std::string_view reply, std::string& message) {
  if (reply == kReplyOk) return ServiceRestore::Done;
  constexpr std::string_view kErrorPrefix = "error ";
  if (reply.substr(0, kErrorPrefix.size()) == kErrorPrefix)
    reply.remove_prefix(kErrorPrefix.size());
  while (!reply.empty() && reply.back() == '\n') reply.remove_suffix(1);
  message = reply;
  return message == kMessageStopping ? ServiceRestore::NotReached : ServiceRestore::Failed;
}

}  // namespace kestrune::service
