// kestrune_demo OUTDIR: renders the built-in scene dry and through each
// intensity, writes the WAV files for listening and prints what changed.
#include <cstdio>
#include <string>

#include "tools/demo_scene.h"
#include "tools/offline_render.h"
#include "tools/sound_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestrune_demo OUTDIR\n");
    return 1;
  }
  const std::string dir = argv[1];
  const kestrune::DemoScene scene = kestrune::makeDemoScene();
  const char* intensities[] = {"dry", "light", "normal", "strong"};
  constexpr double kCeilingDbfs = -1.0;
  bool underCeiling = true;

  std::printf("%-8s %18s %15s %13s %13s\n", "", "off-centre steps", "centred steps", "loud bursts",
              "output peak");
  for (std::int32_t selector = 0; selector < 4; ++selector) {
    kestrune::SoundBuffer rendered = scene.sound;
    kestrune::RenderSettings settings;
    settings.selector = selector;
    kestrune::RenderReport report;
    if (!kestrune::renderThroughEngine(scene.sound.samples.data(), rendered.samples.data(),
                                       scene.sound.frames(), 2, scene.sound.sampleRate, settings,
                                       report)) {
      std::fprintf(stderr, "kestrune_demo: out of memory\n");
      return 1;
    }
    const std::string path = dir + "/demo_" + intensities[selector] + ".wav";
    std::string message;
    if (!kestrune::writeFloatWav(path, rendered, message)) {
      std::fprintf(stderr, "kestrune_demo: %s\n", message.c_str());
      return 1;
    }
    const kestrune::DemoLevels levels =
        kestrune::measureDemoLevels(scene, rendered.samples, report.latencyFrames);
    const bool ok = levels.outputPeakDbfs <= kCeilingDbfs;
    underCeiling = underCeiling && ok;
    std::printf("%-8s %+15.1f dB %+12.1f dB %+10.1f dB %8.2f dBFS%s\n", intensities[selector],
                levels.offCentreStepsDb, levels.centredStepsDb, levels.burstsDb,
                levels.outputPeakDbfs, ok ? "" : "  (above -1 dBFS!)");
  }
  std::printf("Listening files: %s/demo_{dry,light,normal,strong}.wav\n", dir.c_str());
  return underCeiling ? 0 : 1;
}
