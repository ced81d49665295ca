#include "app/window_geometry.h"

#include <cstdint>
#include <limits>

namespace kestrune::app {

int mulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = std::int64_t{number} * numerator;
  const std::int64_t magnitude = product < 0 ? -product : product;
  const std::int64_t divisor = denominator < 0 ? -std::int64_t{denominator} : denominator;
  const std::int64_t rounded = (magnitude + divisor / 2) / divisor;  // half away from zero
  const std::int64_t result = (product < 0) != (denominator < 0) ? -rounded : rounded;
  if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min()) {
    return -1;
  }
  return static_cast<int>(result);
}

WindowPlacement mainWindowPlacement(int dpi, const WorkArea& work) {
  WindowPlacement p;
  p.width = mulDiv(kWindowWidth, dpi, 96);
  p.height = mulDiv(kWindowHeight, dpi, 96);
  p.left = work.left + (work.right - work.left - p.width) / 2;
  p.top = work.top + (work.bottom - work.top - p.height) / 2;
  return p;
}

}  // namespace kestrune::app
