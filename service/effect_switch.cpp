#include "service/effect_switch.h"

#include "common/names.h"

namespace kestrune::service {

SwitchValues decideSwitch(std::uint32_t wanted, std::uint32_t mode, bool gameRunning,
                          std::uint64_t nowMs, std::uint64_t compareDeadlineMs) {
  SwitchValues v;
  v.meter = (wanted != 0 && (mode != 1 || gameRunning)) ? 1 : 0;
  v.enabled = (v.meter == 1 && nowMs >= compareDeadlineMs) ? 1 : 0;
  return v;
}

bool slotHoldsOurEffect(std::u16string_view slotText) {
  return slotText == kEffectClsidTextU;
}

}  // namespace kestrune::service
