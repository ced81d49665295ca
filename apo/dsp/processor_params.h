// The parameter set a footstep processor is built from, its base values and
// the three intensity presets. Times in blocks count processing blocks of
// about 1 ms (see blockLengthFrames).
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrune {

struct ProcessorParams {
  double sampleRate = 48000.0;
  double duckDepthDb = 8.0;
  double liftMaxDb = 15.0;
  double toneAmount = 1.0;
  double transientMaxDb = 6.0;
  double onsetRiseDb = 9.0;
  double onsetFloorDb = -65.0;
  double centreRatioDb = -28.0;
  double duckReleaseBlocks = 60.0;
  std::int32_t duckHoldBlocks = 60;
  std::int32_t onsetRefractoryBlocks = 60;
  double liftThresholdDb = -28.0;
  double liftRatio = 2.0;
  double liftFloorDb = -85.0;
  std::int32_t longWindowBlocks = 1500;
  double liftFallBlocks = 500.0;
  double liftRiseBlocks = 2000.0;
  double headroomRefDb = -20.0;
  double headroomRiseBlocks = 300.0;
  double loudThresholdDb = -20.0;
  double transientThresholdDb = 8.0;
  double transientReleaseBlocks = 80.0;
  double compThresholdDb = -24.0;
  double compRatio = 8.0;
  double compReleaseBlocks = 200.0;
  double compMaxDb = 12.0;
  std::int32_t loudHoldBlocks = 600;
  double ceilingDb = -1.0;
  double ceilingReleaseBlocks = 50.0;
};

// A named row that overwrites the four preset fields of a parameter set.
struct IntensityPreset {
  std::string_view name;
  double duckDepthDb;
  double liftMaxDb;
  double toneAmount;
  double transientMaxDb;
};

inline constexpr IntensityPreset kIntensityPresets[3] = {
    {"light", 4.0, 9.0, 0.6, 3.0},
    {"normal", 8.0, 12.0, 1.3, 12.0},
    {"strong", 8.0, 21.0, 1.3, 9.0},
};

// Base values at the given stream rate (preset fields still unset).
ProcessorParams baseParams(double sampleRate);

// Looks the preset up by exact name and applies it; false when unknown
// (params unchanged).
bool applyPreset(ProcessorParams& params, std::string_view name);

// Largest block any rate can give; fixed arrays are sized for it.
inline constexpr std::int32_t kMaxBlockFrames = 192;

// Frames per processing block: rate/1000 rounded, clamped to 8..192.
std::int32_t blockLengthFrames(double sampleRate);

// 7 blocks when every host period is a whole number of blocks, else 8 (the
// eighth covers a partial block at the end of a call).
inline std::int32_t latencyForBlock(std::int32_t blockFrames, bool aligned) {
  return (aligned ? 7 : 8) * blockFrames;
}

}  // namespace kestrune
