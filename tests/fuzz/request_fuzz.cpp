// Feeds arbitrary requests through the dispatcher against a host that
// checks the lock discipline and the shape of every reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "service/command_parse.h"
#include "service/command_tokens.h"
#include "service/dispatcher.h"

namespace {

using namespace kestrune::service;

class CheckingHost final : public CommandHost {
 public:
  void lock() override {
    if (locked_) std::abort();
    locked_ = true;
  }
  void unlock() override {
    if (!locked_) std::abort();
    locked_ = false;
  }
  StatusInputs readStatus() override {
    mustHoldLock();
    StatusInputs in;
    in.endpoint = lastText_;
    return in;
  }
  std::string listEndpoints() override {
    mustHoldLock();
    return "";
  }
  bool writeNumber(NumberSetting, std::uint32_t value) override {
    mustHoldLock();
    return value <= 3;
  }
  bool writeGames(std::string_view text) override {
    mustHoldLock();
    if (text.find(' ') != std::string_view::npos || text.empty()) std::abort();
    lastText_ = text;
    return text.size() % 2 == 0;
  }
  void setCompare(bool) override { mustHoldLock(); }
  void runEffectSwitch() override { mustHoldLock(); }
  bool debugCommandsAllowed() override {
    mustHoldLock();
    return debug_ = !debug_;
  }
  bool attach(std::string_view id, bool, bool force, bool crashTest,
              std::string& message) override {
    mustHoldLock();
    if (id.empty() || id.find(' ') != std::string_view::npos) std::abort();
    if (crashTest && force) std::abort();
    message = std::string(id);
    return id.size() % 2 == 0;
  }
  bool restore(std::string& message) override {
    mustHoldLock();
    message = "could not restore x";
    return false;
  }
  bool locked() const { return locked_; }

 private:
  void mustHoldLock() const {
    if (!locked_) std::abort();
  }
  bool locked_ = false;
  bool debug_ = false;
  std::string lastText_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view request(reinterpret_cast<const char*>(data), size);
  CheckingHost host;
  const std::string reply = dispatchRequest(request, host);
  if (host.locked()) std::abort();
  const auto words = splitCommandWords(stripLineEnds(request));
  // Every reply is lines ended by line feeds; only an endpoint listing may be empty.
  const bool listing = !words.empty() && words[0] == "endpoints";
  if (reply.empty() ? !listing : reply.back() != '\n') std::abort();
  for (std::string_view w : words) {
    if (w.empty() || w.find(' ') != std::string_view::npos) std::abort();
  }
  if (words.empty() != (reply == kReplyEmpty)) std::abort();
  return 0;
}
