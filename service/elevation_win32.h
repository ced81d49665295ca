// The real side of elevation: the process token and the "runas" restart.
#pragma once

#include "service/elevation.h"

namespace kestrune::service {

class SystemElevation final : public ElevationPort {
 public:
  bool isElevated() override;
  std::optional<std::uint32_t> runElevatedCopy(const std::wstring& parameters) override;
  void print(const char* text) override;
};

// Starts `program` with the "runas" verb and waits without limit; the exit code
// (1 when unreadable), or nothing when no process came back.
std::optional<std::uint32_t> runAsAdministratorAndWait(const wchar_t* program,
                                                       const std::wstring& parameters);

}  // namespace kestrune::service
