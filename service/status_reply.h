// The eleven-line status reply, built from raw reads so that every line's
// default lives here, in one place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrune::service {

// What the status command reads under the service lock. Absent means the
// value could not be read as a number.
struct StatusInputs {
  std::optional<std::uint32_t> wanted;
  std::optional<std::uint32_t> mode;
  bool gameRunning = false;
  std::optional<std::uint32_t> enabled;
  std::optional<std::uint32_t> intensity;
  std::string endpoint;  // journal's _Device, UTF-8, empty when absent
  std::optional<std::uint32_t> phase;
  std::optional<std::uint32_t> full;
  bool drift = false;
  std::string games;  // the effective games list as text
  std::uint64_t compareDeadlineMs = 0;
  std::uint64_t nowMs = 0;
};

std::string formatStatusReply(const StatusInputs& in);

}  // namespace kestrune::service
