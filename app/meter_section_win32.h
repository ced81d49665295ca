// Opens the shared meter section read-only for the meter feed.
#pragma once

#include "app/meter_feed.h"

namespace kestrune::app {

class MeterSectionOpener final : public MeterSectionSource {
 public:
  // Maps all of "Global\KestruneMeter" read-only and closes the section
  // handle at once (the view keeps the section alive).
  std::unique_ptr<MappedMeterSection> open() override;
};

}  // namespace kestrune::app
