// A built-in listening scene, synthesised the same way on every run: a quiet
// noise bed, quiet off-centre footstep-like ticks, louder centred "own" steps
// and loud gunfire-like bursts, and the level change each class gets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/sound_file.h"

namespace kestrune {

enum class DemoEventKind { OffCentreStep, CentredStep, Burst };

struct DemoEvent {
  DemoEventKind kind;
  std::size_t startFrame;
  std::size_t lengthFrames;
};

struct DemoScene {
  SoundBuffer sound;  // stereo, 48 kHz
  std::vector<DemoEvent> events;
};

DemoScene makeDemoScene();

// Level change per event class, in dB: the energy of the output over each
// event's frames (shifted by the latency) against the input's, summed over
// all events of the class. Also the output's peak in dBFS.
struct DemoLevels {
  double offCentreStepsDb = 0.0;
  double centredStepsDb = 0.0;
  double burstsDb = 0.0;
  double outputPeakDbfs = 0.0;
};

DemoLevels measureDemoLevels(const DemoScene& scene, const std::vector<float>& output,
                             std::int32_t latencyFrames);

}  // namespace kestrune
