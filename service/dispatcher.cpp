#include "service/dispatcher.h"

#include "service/command_parse.h"
#include "service/command_tokens.h"

namespace kestrune::service {
namespace {

class HostLock {
 public:
  explicit HostLock(CommandHost& host) : host_(host) { host_.lock(); }
  ~HostLock() { host_.unlock(); }
  HostLock(const HostLock&) = delete;
  HostLock& operator=(const HostLock&) = delete;

 private:
  CommandHost& host_;
};

std::string okOr(bool ok, const char* failure) { return ok ? kReplyOk : failure; }

std::string okOrMessage(bool ok, const std::string& message) {
  return ok ? std::string(kReplyOk) : "error " + message + "\n";
}

std::string writeThenSwitch(CommandHost& host, NumberSetting setting, std::uint32_t value) {
  const bool ok = host.writeNumber(setting, value);
  host.runEffectSwitch();
  return okOr(ok, kReplyRegistry);
}

std::string runCommand(const Command& c, CommandHost& host) {
  switch (c.kind) {
    case CommandKind::Status:
      return formatStatusReply(host.readStatus());
    case CommandKind::Endpoints:
      return host.listEndpoints();
    case CommandKind::SetWanted:
      return writeThenSwitch(host, NumberSetting::Wanted, c.number);
    case CommandKind::SetCompare:
      host.setCompare(c.number == 1);
      host.runEffectSwitch();
      return kReplyOk;
    case CommandKind::SetIntensity:
      return okOr(host.writeNumber(NumberSetting::Intensity, c.number), kReplyRegistry);
    case CommandKind::SetMode:
      return writeThenSwitch(host, NumberSetting::Mode, c.number);
    case CommandKind::SetGames:
      return okOr(host.writeGames(c.text), kReplyRegistry);
    case CommandKind::Install: {
      std::string message;
      const bool ok = host.attach(c.text, c.full, c.force, false, message);
      return okOrMessage(ok, message);
    }
    case CommandKind::Uninstall: {
      std::string message;
      const bool ok = host.restore(message);
      return okOrMessage(ok, message);
    }
    case CommandKind::DebugCrashInstall: {
      if (!host.debugCommandsAllowed()) return kReplyUnknown;
      std::string message;
      const bool ok = host.attach(c.text, c.full, false, true, message);
      return okOrMessage(ok, message);
    }
    case CommandKind::Empty:
    case CommandKind::Unknown:
      break;
  }
  return kReplyUnknown;
}

}  // namespace

std::string dispatchRequest(std::string_view request, CommandHost& host) {
  const std::vector<std::string_view> words = splitCommandWords(stripLineEnds(request));
  if (words.empty()) return kReplyEmpty;
  const Command command = parseCommand(words);
  std::string reply;
  {
    HostLock held(host);
    reply = runCommand(command, host);
  }
  return reply;
}

}  // namespace kestrune::service
