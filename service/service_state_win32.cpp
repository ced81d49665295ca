#include "service/service_state_win32.h"

namespace kestrune::service {

ServiceState& serviceState() {
  // Never destroyed: detached pipe workers may still touch it during exit.
  static ServiceState* const state = [] {
    auto* s = new ServiceState;
    s->stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return s;
  }();
  return *state;
}

}  // namespace kestrune::service
