#include "tools/offline_render.h"

#include <algorithm>
#include <cmath>

#include "apo/dsp/effect_engine.h"

namespace kestrune {

std::optional<std::int32_t> selectorForIntensity(std::string_view name) {
  constexpr std::string_view kNames[] = {"dry", "light", "normal", "strong"};
  for (std::int32_t i = 0; i < 4; ++i) {
    if (kNames[i] == name) return i;
  }
  return std::nullopt;
}

std::uint32_t renderPeriodFrames(const RenderSettings& settings, double sampleRate) {
  if (settings.periodFrames != 0) return settings.periodFrames;
  return std::max<std::uint32_t>(1, static_cast<std::uint32_t>(sampleRate / 100.0));
}

namespace {

float peakOf(const float* values, std::size_t count) {
  float peak = 0.0f;
  for (std::size_t k = 0; k < count; ++k) peak = std::max(peak, std::abs(values[k]));
  return peak;
}

}  // namespace

bool renderThroughEngine(const float* input, float* output, std::size_t frames,
                         std::uint32_t channels, double sampleRate, const RenderSettings& settings,
                         RenderReport& report) {
  report = RenderReport{};
  report.periodFrames = renderPeriodFrames(settings, sampleRate);
  report.inputPeak = peakOf(input, frames * channels);
  // The effect object hands the engine a 32-bit float stream; the engine's
  // own rules then decide active or pass-through.
  EffectEngine engine;
  if (!engine.setup(StreamFormat{channels, sampleRate, 4, true}, report.periodFrames,
                    settings.selector)) {
    return false;
  }
  engine.syncTargetToCurrent();
  report.active = engine.active();
  report.latencyFrames = engine.active() ? engine.latencyFrames() : 0;

  for (std::size_t done = 0; done < frames; done += report.periodFrames) {
    const auto n =
        static_cast<std::uint32_t>(std::min<std::size_t>(report.periodFrames, frames - done));
    const std::size_t offset = done * channels;
    engine.process(input + offset, output + offset, n, false);
    ++report.calls;
    const std::uint8_t status = engine.active() ? engine.lastStatus() : 0;
    for (int bit = 0; bit < 4; ++bit) {
      if (status & (1u << bit)) ++report.callsWithStatus[bit];
    }
  }
  report.outputPeak = peakOf(output, frames * channels);
  return true;
}

}  // namespace kestrune
