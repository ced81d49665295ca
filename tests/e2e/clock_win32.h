// One clock for the scenario and the stand-in audio engine, which run in
// separate processes: the performance counter in microseconds.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kestrune::e2e {

inline std::uint64_t performanceMicroseconds() {
  LARGE_INTEGER now, frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  const auto ticks = static_cast<std::uint64_t>(now.QuadPart);
  const auto perSecond = static_cast<std::uint64_t>(frequency.QuadPart);
  return ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
}

}  // namespace kestrune::e2e
