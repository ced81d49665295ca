#include "service/elevation.h"

#include "service/service_main_verb.h"

namespace kestrune::service {

int runElevated(const std::vector<std::wstring>& args, ElevationPort& port,
                const std::function<int()>& work) {
  if (port.isElevated()) return work();
  if (std::optional<std::uint32_t> code = port.runElevatedCopy(elevatedParameters(args))) {
    return static_cast<int>(*code);
  }
  port.print(kElevationRefusedMessage);
  return 1;
}

}  // namespace kestrune::service
