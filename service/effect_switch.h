// The rule from the user's settings and the game state to the two values the
// effect obeys. Platform-free; the watcher and the pipe apply it.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrune::service {

struct SwitchValues {
  std::uint32_t enabled = 0;  // 1: the effect processes audio
  std::uint32_t meter = 0;    // 1: the effect publishes levels
};

// meter = wanted != 0 and (mode != 1 or a game runs);
// enabled = meter and now is at or past the compare deadline.
SwitchValues decideSwitch(std::uint32_t wanted, std::uint32_t mode, bool gameRunning,
                          std::uint64_t nowMs, std::uint64_t compareDeadlineMs);

// True when the endpoint-effect slot holds exactly the effect's class id
// (38 characters, compared with case).
bool slotHoldsOurEffect(const std::u16string_view slotText);

}  // namespace kestrune::service
