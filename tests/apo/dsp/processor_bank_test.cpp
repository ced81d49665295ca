// The processor bank against three footstep processors built the plain way:
// each preset's output, on every code path, on long random and
// real-sounding input, at every kind of rate and call pattern.
#include "apo/dsp/processor_bank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "apo/dsp/footstep_processor.h"
#include "dsp_paths.h"
#include "test_signals.h"
#include "tools/demo_scene.h"

namespace kestrune {
namespace {

using testing_paths::OnEachPath;

class ProcessorBankTest : public OnEachPath {};
KESTRUNE_ON_EACH_PATH(ProcessorBankTest);

// Index of the first sample further than tolerance from the expected one,
// or -1.
long firstDifference(const std::vector<float>& actual, const std::vector<float>& expected,
                     float tolerance) {
  for (std::size_t k = 0; k < expected.size(); ++k) {
    if (!(std::abs(actual[k] - expected[k]) <= tolerance)) return static_cast<long>(k);
  }
  return -1;
}

TEST_P(ProcessorBankTest, EachPresetPlaysWhatItsFootstepProcessorPlays) {
  struct Case {
    const char* name;
    double rate;
    bool aligned;
    std::vector<float> input;
    std::vector<std::uint32_t> calls;
  };
  auto even = [](std::size_t frames, std::uint32_t call) {
    std::vector<std::uint32_t> calls(frames / call, call);
    if (frames % call) calls.push_back(static_cast<std::uint32_t>(frames % call));
    return calls;
  };
  std::vector<Case> cases;
  const auto scene = makeDemoScene().sound.samples;
  cases.push_back(
      {"demo scene, 48 kHz, 480-frame calls", 48000.0, true, scene, even(scene.size() / 2, 480)});
  const auto random = testing_signals::randomScene(48000 * 60, 48000.0, 1);
  cases.push_back({"60 s random scene, 48 kHz, 480", 48000.0, true, random, even(48000 * 60, 480)});
  const auto at44 = testing_signals::randomScene(44100 * 20, 44100.0, 2);
  cases.push_back({"random scene, 44.1 kHz, 441", 44100.0, false, at44, even(44100 * 20, 441)});
  const auto at96 = testing_signals::randomScene(96000 * 10, 96000.0, 3);
  cases.push_back({"random scene, 96 kHz, 960", 96000.0, true, at96, even(96000 * 10, 960)});
  const auto at192 = testing_signals::randomScene(192000 * 6, 192000.0, 4);
  cases.push_back({"random scene, 192 kHz, 1920", 192000.0, true, at192, even(192000 * 6, 1920)});
  // Blocks of 11, 22 and 9 frames: the loops' last four frames are partial.
  for (const double rate : {11025.0, 22050.0, 9000.0}) {
    const auto frames = static_cast<std::size_t>(rate) * 10;
    cases.push_back({"random scene, blocks not a multiple of four frames", rate, false,
                     testing_signals::randomScene(frames, rate, 9),
                     testing_signals::randomSplit(frames, 500, 10)});
  }
  auto at8 = testing_signals::randomScene(8000 * 20, 8000.0, 5);
  at8[1001] = std::nanf("");
  at8[2002] = -INFINITY;
  cases.push_back({"random scene with NaN and inf, 8 kHz, random calls", 8000.0, false, at8,
                   testing_signals::randomSplit(8000 * 20, 300, 6)});

  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " at " << c.rate << " Hz");
    auto bank = ProcessorBank::create(c.rate, c.aligned, path());
    ASSERT_EQ(bank->path(), path());
    std::unique_ptr<FootstepProcessor> plain[kBankPresets];
    for (int p = 0; p < kBankPresets; ++p) {
      ProcessorParams params = baseParams(c.rate);
      applyPreset(params, kIntensityPresets[p].name);
      plain[p] = FootstepProcessor::create(params, c.aligned);
      ASSERT_EQ(bank->latencyFrames(), plain[p]->latencyFrames());
    }
    std::vector<float> banked[kBankPresets], expected[kBankPresets];
    for (int p = 0; p < kBankPresets; ++p) {
      banked[p].assign(c.input.size(), 1.0f);
      expected[p].assign(c.input.size(), 0.0f);
    }
    std::size_t done = 0;
    for (std::uint32_t n : c.calls) {
      float* const outputs[kBankPresets] = {
          banked[0].data() + 2 * done, banked[1].data() + 2 * done, banked[2].data() + 2 * done};
      bank->process(c.input.data() + 2 * done, outputs, n);
      for (int p = 0; p < kBankPresets; ++p) {
        plain[p]->process(c.input.data() + 2 * done, expected[p].data() + 2 * done, n);
        ASSERT_EQ(bank->takeStatusFlags(p), plain[p]->takeStatusFlags())
            << kIntensityPresets[p].name << " after frame " << done;
      }
      done += n;
    }
    for (int p = 0; p < kBankPresets; ++p) {
      const long at = firstDifference(banked[p], expected[p], tolerance());
      EXPECT_EQ(at, -1) << kIntensityPresets[p].name << ": frame " << at / 2 << " has "
                        << banked[p][at] << " for " << expected[p][at];
    }
  }
}

TEST_P(ProcessorBankTest, PresetsNotAskedForMoveOnAndPlayInTimeWhenAskedAgain) {
  const double rate = 44100.0;  // not aligned: blocks carry over from call to call
  const std::size_t frames = 44100 * 5;
  const auto input = testing_signals::randomScene(frames, rate, 7);
  auto everything = ProcessorBank::create(rate, false, path());
  auto some = ProcessorBank::create(rate, false, path());
  std::vector<float> all[kBankPresets], asked[kBankPresets];
  for (int p = 0; p < kBankPresets; ++p) {
    all[p].assign(2 * frames, 0.0f);
    asked[p].assign(2 * frames, -7.0f);  // never asked for: stays -7
  }
  std::size_t done = 0;
  unsigned call = 0;
  for (std::uint32_t n : testing_signals::randomSplit(frames, 441, 8)) {
    float* const full[kBankPresets] = {all[0].data() + 2 * done, all[1].data() + 2 * done,
                                       all[2].data() + 2 * done};
    everything->process(input.data() + 2 * done, full, n);
    float* partial[kBankPresets];
    for (int p = 0; p < kBankPresets; ++p) {
      partial[p] = (call >> p) % 2 ? asked[p].data() + 2 * done : nullptr;
    }
    some->process(input.data() + 2 * done, partial, n);
    done += n;
    call = (call * 5 + 3) % 8;  // every subset of the presets, in a shuffled order
  }
  for (int p = 0; p < kBankPresets; ++p) {
    std::size_t compared = 0;
    for (std::size_t k = 0; k < 2 * frames; ++k) {
      if (asked[p][k] == -7.0f) continue;
      ASSERT_EQ(asked[p][k], all[p][k]) << kIntensityPresets[p].name << " frame " << k / 2;
      ++compared;
    }
    EXPECT_GT(compared, frames / 2) << kIntensityPresets[p].name;
  }
}

}  // namespace
}  // namespace kestrune
