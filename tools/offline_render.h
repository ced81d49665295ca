// Runs whole buffers through the effect engine exactly as the effect would:
// fixed periods, float samples, the engine's pass-through rules included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrune {

// "dry", "light", "normal", "strong" to selector 0..3; nullopt otherwise.
std::optional<std::int32_t> selectorForIntensity(std::string_view name);

struct RenderSettings {
  std::int32_t selector = 2;       // what the effect plays, no fade at start
  std::uint32_t periodFrames = 0;  // frames per call; 0 means 10 ms of the rate
};

struct RenderReport {
  bool active = false;
  std::int32_t latencyFrames = 0;
  std::uint32_t periodFrames = 0;
  float inputPeak = 0.0f;
  float outputPeak = 0.0f;
  std::uint64_t calls = 0;
  // Calls whose status had bit 1, 2, 4 and 8 set.
  std::uint64_t callsWithStatus[4] = {0, 0, 0, 0};
};

// Frames per call for the settings at this rate (at least 1).
std::uint32_t renderPeriodFrames(const RenderSettings& settings, double sampleRate);

// Renders frames interleaved frames of channels from input to output (may be
// the same buffer). Returns false only when the engine could not be set up
// (out of memory).
bool renderThroughEngine(const float* input, float* output, std::size_t frames,
                         std::uint32_t channels, double sampleRate, const RenderSettings& settings,
                         RenderReport& report);

}  // namespace kestrune
