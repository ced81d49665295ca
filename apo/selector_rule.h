// How the effect turns the settings key into what it plays: the selector rule
// and each value's default, applied in one place.
#pragma once

#include <cstdint>

namespace kestrune {

// Defaults when a value (or the whole key) is missing or unreadable.
inline constexpr std::uint32_t kDefaultEnabled = 1;
inline constexpr std::uint32_t kDefaultIntensity = 2;
inline constexpr std::uint32_t kDefaultMeter = 0;

struct EffectSettings {
  std::uint32_t enabled = kDefaultEnabled;
  std::uint32_t intensity = kDefaultIntensity;
  std::uint32_t meter = kDefaultMeter;
};

// Enabled 0 -> 0 (dry); else Intensity 0 -> 1, 1..3 -> itself, 4 and up -> 3.
constexpr std::int32_t selectorFor(const EffectSettings& s) {
  if (s.enabled == 0) return 0;
  if (s.intensity == 0) return 1;
  if (s.intensity >= 3) return 3;
  return static_cast<std::int32_t>(s.intensity);
}

}  // namespace kestrune
