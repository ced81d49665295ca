#include "app/meter_section_win32.h"

#include <windows.h>

#include "common/handles_win32.h"
#include "common/meter_layout.h"
#include "common/names.h"

namespace kestrune::app {

namespace {

class MappedView final : public MappedMeterSection {
 public:
  explicit MappedView(UniqueView view) : view_(std::move(view)) {}
  const unsigned char* bytes() const override {
    return static_cast<const unsigned char*>(view_.get());
  }

 private:
  UniqueView view_;
};

}  // namespace

std::unique_ptr<MappedMeterSection> MeterSectionOpener::open() {
  UniqueHandle section(::OpenFileMappingW(FILE_MAP_READ, FALSE, kMeterSectionName));
  if (!section) return nullptr;
  UniqueView view(::MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, kMeterSectionBytes));
  if (!view) return nullptr;
  return std::make_unique<MappedView>(std::move(view));
}

}  // namespace kestrune::app
