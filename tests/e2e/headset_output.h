// What the headset played in the scenario, checked against the effect engine
// run offline: the calls at which the effect switched on and off, the largest
// difference from an offline run that switches at the same calls, and the
// level change of the off-centre steps before and after the switch.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/demo_scene.h"
#include "tools/sound_file.h"

namespace kestrune::e2e {

// The target selector an offline run sets just before call `call`.
struct SelectorChange {
  std::size_t call;
  std::int32_t selector;
};

// Runs `input` through one effect engine in calls of periodFrames, as the
// effect object calls it: 32-bit float at the input's channels and rate,
// starting at initialSelector with no fade. False when the engine cannot be
// set up.
bool replayThroughEngine(const SoundBuffer& input, std::uint32_t periodFrames,
                         std::int32_t initialSelector, const std::vector<SelectorChange>& changes,
                         std::vector<float>& output, std::int32_t& latencyFrames);

// The sound repeated from its start up to `frames` frames, as the stand-in
// audio engine plays a file shorter than its run.
SoundBuffer loopedTo(const SoundBuffer& sound, std::size_t frames);

struct HeadsetAnalysis {
  std::int32_t latencyFrames = 0;
  std::optional<std::size_t> onCall;   // first call that left the dry signal
  std::optional<std::size_t> offCall;  // first call after it that left the processor's output
  float maxDifference = 0.0f;          // against the offline run switching at these calls
  std::size_t stepsBefore = 0;         // off-centre steps heard wholly before onCall
  std::size_t stepsAfter = 0;          // ... wholly between the fade-in and offCall
  double stepsBeforeDb = 0.0;          // their level change against the scene
  double stepsAfterDb = 0.0;
};

// Analyses `output`, captured in calls of periodFrames from the scene played
// from its start (looped), with `selector` the intensity the effect faded
// to. False with a message when the output does not fit the scene or the
// engine cannot be set up.
bool analyseHeadsetOutput(const DemoScene& scene, const SoundBuffer& output,
                          std::uint32_t periodFrames, std::int32_t selector,
                          HeadsetAnalysis& analysis, std::string& message);

}  // namespace kestrune::e2e
