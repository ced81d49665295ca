// Feeds arbitrary page requests through the bridge against actions that
// check what the request may do, and checks that the one reply is an exact
// JSON object whose text decodes to what the action produced.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/bridge.h"
#include "app/status_map.h"

namespace {

using namespace kestrune::app;

void check(bool condition) {
  if (!condition) std::abort();
}

// Decodes a JSON string written by the bridge's quoting; aborts on anything
// that is not valid JSON or that the quoting would not write.
std::string decodeString(std::string_view json, std::size_t& at) {
  check(at < json.size() && json[at] == '"');
  std::string out;
  for (++at; at < json.size(); ++at) {
    const auto c = static_cast<unsigned char>(json[at]);
    if (c == '"') {
      ++at;
      return out;
    }
    check(c >= 0x20);
    if (c != '\\') {
      out += static_cast<char>(c);
      continue;
    }
    check(++at < json.size());
    switch (json[at]) {
      case '"':
        out += '"';
        break;
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        check(at + 4 < json.size() && json.substr(at + 1, 2) == "00");
        const int value = std::stoi(std::string(json.substr(at + 3, 2)), nullptr, 16);
        check(value < 0x20 && value != '\n' && value != '\r' && value != '\t');
        out += static_cast<char>(value);
        at += 4;
        break;
      }
      default:
        check(false);
    }
  }
  check(false);
  return out;
}

class CheckingActions final : public BridgeActions {
 public:
  explicit CheckingActions(const BridgeRequest& request) : request_(request) {}

  std::string callPipe(const std::string& command, std::uint32_t timeoutMs) override {
    checkKind("pipe");
    check(command == request_.argument);
    const bool slow = command.starts_with("install") || command == "uninstall";
    check(timeoutMs == (slow ? 30000u : 1500u));
    // The service's reply may hold any bytes: echo the command.
    expectedText_ = command;
    return command;
  }
  void requestStatusRefresh() override {
    checkKind("pipe");
    check(!replyIsError(expectedText_) && !request_.argument.starts_with("status") &&
          request_.argument != "endpoints");
    ++refreshes_;
  }
  void windowCommand(WindowCommand command) override {
    checkKind("win");
    const std::string_view a = request_.argument;
    check(command == (a == "min"    ? WindowCommand::Minimize
                      : a == "hide" ? WindowCommand::Hide
                                    : WindowCommand::Quit));
  }
  Prefs readPrefs() override {
    checkKind("prefs");
    expectedText_ = "startup=1\nminimized=4294967295\nnotify=0\n";
    return {true, 0xFFFFFFFFu, 0};
  }
  void writePref(PrefName, bool value) override {
    checkKind("pref");
    const std::string_view a = request_.argument;
    check(value == (a.size() >= 3 && a.back() == '1'));
  }
  void openAddress(std::string_view address) override {
    checkKind("open");
    check(address.starts_with("https://") || address.starts_with("mailto:"));
  }
  bool runRepair() override {
    checkKind("repair");
    const bool started = request_.argument.size() % 2 == 0;
    if (!started) expectedText_ = "cancelled";
    return started;
  }
  void postReply(std::string json) override {
    check(replies_++ == 0);
    const std::string head = "{\"id\":" + std::string(request_.id) + ",\"ok\":";
    check(json.starts_with(head) && json.back() == '}');
    std::size_t at = head.size();
    const bool ok = json.compare(at, 4, "true") == 0;
    check(ok || json.compare(at, 5, "false") == 0);
    at += ok ? 4 : 5;
    check(json.compare(at, 8, ",\"text\":") == 0);
    at += 8;
    check(decodeString(json, at) == expectedText_);
    check(at == json.size() - 1);
  }

  int replies() const { return replies_; }
  int refreshes() const { return refreshes_; }

 private:
  void checkKind(std::string_view kind) const {
    check(request_.kind == kind);
    check(replies_ == 0);  // the reply comes after every other action
  }

  BridgeRequest request_;
  std::string expectedText_;
  int replies_ = 0;
  int refreshes_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view request(reinterpret_cast<const char*>(data), size);
  const auto parts = splitBridgeRequest(request);
  if (!parts) {
    CheckingActions none(BridgeRequest{});
    processBridgeRequest(request, none);
    check(none.replies() == 0);
    return 0;
  }
  check(parts->id.find('\t') == std::string_view::npos);
  check(parts->kind.find('\t') == std::string_view::npos);
  check(parts->id.size() + parts->kind.size() + parts->argument.size() + 2 == size);
  CheckingActions actions(*parts);
  processBridgeRequest(request, actions);
  check(actions.replies() == 1);
  check(actions.refreshes() <= 1);
  return 0;
}
