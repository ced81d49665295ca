#include "tests/e2e/headset_output.h"

#include <algorithm>
#include <cmath>

#include "apo/dsp/effect_engine.h"

namespace kestrune::e2e {

namespace {

std::optional<std::size_t> firstDifferingCall(const std::vector<float>& a,
                                              const std::vector<float>& b, std::size_t callSamples,
                                              std::size_t fromCall) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = fromCall * callSamples; i < common; ++i) {
    if (a[i] != b[i]) return i / callSamples;
  }
  return std::nullopt;
}

float maxAbsDifference(const std::vector<float>& a, const std::vector<float>& b) {
  float worst = a.size() == b.size() ? 0.0f : INFINITY;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

// Level change of the off-centre steps of the scene's first pass that lie,
// delayed by the latency, wholly inside output frames [from, to).
double stepsLevelDb(const DemoScene& scene, const std::vector<float>& output,
                    std::int32_t latencyFrames, std::size_t from, std::size_t to,
                    std::size_t& count) {
  DemoScene part{scene.sound, {}};
  for (const DemoEvent& e : scene.events) {
    const std::size_t start = e.startFrame + static_cast<std::size_t>(latencyFrames);
    if (e.kind == DemoEventKind::OffCentreStep && start >= from && start + e.lengthFrames <= to)
      part.events.push_back(e);
  }
  count = part.events.size();
  return count ? measureDemoLevels(part, output, latencyFrames).offCentreStepsDb : 0.0;
}

}  // namespace

bool replayThroughEngine(const SoundBuffer& input, std::uint32_t periodFrames,
                         std::int32_t initialSelector, const std::vector<SelectorChange>& changes,
                         std::vector<float>& output, std::int32_t& latencyFrames) {
  EffectEngine engine;
  if (!engine.setup(StreamFormat{input.channels, input.sampleRate, 4, true}, periodFrames,
                    initialSelector)) {
    return false;
  }
  engine.syncTargetToCurrent();
  latencyFrames = engine.latencyFrames();
  output.assign(input.samples.size(), 0.0f);
  const std::size_t frames = input.frames();
  for (std::size_t call = 0; call * periodFrames < frames; ++call) {
    for (const SelectorChange& c : changes) {
      if (c.call == call) engine.setTargetSelector(c.selector);
    }
    const std::size_t offset = call * periodFrames * input.channels;
    const auto n = static_cast<std::uint32_t>(
        std::min<std::size_t>(periodFrames, frames - call * periodFrames));
    engine.process(input.samples.data() + offset, output.data() + offset, n, false);
  }
  return true;
}

SoundBuffer loopedTo(const SoundBuffer& sound, std::size_t frames) {
  SoundBuffer out{sound.channels, sound.sampleRate, {}};
  out.samples.resize(frames * sound.channels);
  for (std::size_t i = 0; i < out.samples.size() && !sound.samples.empty(); ++i)
    out.samples[i] = sound.samples[i % sound.samples.size()];
  return out;
}

bool analyseHeadsetOutput(const DemoScene& scene, const SoundBuffer& output,
                          std::uint32_t periodFrames, std::int32_t selector,
                          HeadsetAnalysis& analysis, std::string& message) {
  if (output.channels != scene.sound.channels || output.sampleRate != scene.sound.sampleRate ||
      periodFrames == 0) {
    message = "the output's format is not the scene's";
    return false;
  }
  const SoundBuffer input = loopedTo(scene.sound, output.frames());
  std::vector<float> dry, processed, reference;
  std::int32_t latency = 0;
  if (!replayThroughEngine(input, periodFrames, 0, {}, dry, latency) ||
      !replayThroughEngine(input, periodFrames, selector, {}, processed, latency)) {
    message = "the effect engine could not be set up";
    return false;
  }
  HeadsetAnalysis a;
  a.latencyFrames = latency;
  const std::size_t callSamples = std::size_t{periodFrames} * output.channels;
  a.onCall = firstDifferingCall(output.samples, dry, callSamples, 0);
  if (a.onCall)
    a.offCall = firstDifferingCall(output.samples, processed, callSamples, *a.onCall + 1);

  std::vector<SelectorChange> changes;
  if (a.onCall) changes.push_back({*a.onCall, selector});
  if (a.offCall) changes.push_back({*a.offCall, 0});
  if (!replayThroughEngine(input, periodFrames, 0, changes, reference, latency)) {
    message = "the effect engine could not be set up";
    return false;
  }
  a.maxDifference = maxAbsDifference(output.samples, reference);

  if (a.onCall) {
    const std::size_t fadeEnd = (*a.onCall + 1) * periodFrames;
    const std::size_t processedEnd = a.offCall ? *a.offCall * periodFrames : output.frames();
    a.stepsBeforeDb =
        stepsLevelDb(scene, output.samples, latency, 0, *a.onCall * periodFrames, a.stepsBefore);
    a.stepsAfterDb =
        stepsLevelDb(scene, output.samples, latency, fadeEnd, processedEnd, a.stepsAfter);
  }
  analysis = a;
  return true;
}

}  // namespace kestrune::e2e
