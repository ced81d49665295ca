// The dispatcher's view of the running service: the settings store, the
// shared service state and the endpoint attach/restore. Once the stop event
// is signalled, attach and restore reply with an error and do nothing.
#pragma once

#include "service/dispatcher.h"

namespace kestrune::service {

class ServiceCommandHost final : public CommandHost {
 public:
  void lock() override;
  void unlock() override;
  StatusInputs readStatus() override;
  std::string listEndpoints() override;
  bool writeNumber(NumberSetting setting, std::uint32_t value) override;
  bool writeGames(std::string_view text) override;
  void setCompare(bool on) override;
  void runEffectSwitch() override;
  bool debugCommandsAllowed() override;
  bool attach(std::string_view endpointId, bool full, bool force, bool crashTest,
              std::string& message) override;
  bool restore(std::string& message) override;
};

// The process's host; never destroyed, as detached connection threads use it.
CommandHost& serviceCommandHost();

}  // namespace kestrune::service
