#include "apo/dsp/filter_design.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "apo/dsp/processor_params.h"
#include "apo/dsp/tone_shaper.h"

namespace kestrune {
namespace {

double chainResponseDb(const std::vector<SectionCoefficients>& chain, double f, double fs) {
  double db = 0.0;
  for (const auto& s : chain) db += sectionResponseDb(s, f, fs);
  return db;
}

TEST(FilterDesign, ButterworthHighPassIsThreeDbDownAtCutoffAndFlatAtNyquist) {
  struct Case {
    int order;
    double cutoffHz;
    double fs;
    size_t sections;
  };
  const Case cases[] = {{1, 5.0, 48000.0, 1},   {2, 35.0, 44100.0, 1}, {3, 100.0, 48000.0, 2},
                        {4, 150.0, 48000.0, 2}, {4, 150.0, 8000.0, 2}, {2, 35.0, 192000.0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "order " << c.order << " at " << c.cutoffHz << " Hz, fs " << c.fs);
    const auto chain = butterworthHighPass(c.order, c.cutoffHz, c.fs);
    ASSERT_EQ(chain.size(), c.sections);
    EXPECT_NEAR(chainResponseDb(chain, c.cutoffHz, c.fs), -10.0 * std::log10(2.0), 1e-9);
    EXPECT_NEAR(chainResponseDb(chain, c.fs / 2.0, c.fs), 0.0, 1e-9);
    // Roll-off of 6 dB per octave and order, well below the cutoff.
    EXPECT_NEAR(chainResponseDb(chain, c.cutoffHz / 8.0, c.fs), -18.0 * c.order, 0.2 * c.order);
  }
}

TEST(FilterDesign, PeakAndShelfReachTheirGainWhereDesigned) {
  const double fs = 48000.0;
  for (double gainDb : {-5.2, -2.4, 2.1, 4.55}) {
    EXPECT_NEAR(sectionResponseDb(peakingSection(3200.0, 0.9, gainDb, fs), 3200.0, fs), gainDb,
                1e-9);
    EXPECT_NEAR(sectionResponseDb(peakingSection(3200.0, 0.9, gainDb, fs), 20.0, fs), 0.0, 0.01);
    EXPECT_NEAR(sectionResponseDb(highShelfSection(7000.0, gainDb, fs), fs / 2.0, fs), gainDb,
                1e-9);
    EXPECT_NEAR(sectionResponseDb(highShelfSection(7000.0, gainDb, fs), 7000.0, fs), gainDb / 2.0,
                0.05);
    EXPECT_NEAR(sectionResponseDb(highShelfSection(7000.0, gainDb, fs), 50.0, fs), 0.0, 0.01);
  }
}

// Drives a sine through the shaper and measures the steady output level (RMS,
// so few samples per period do not matter).
double measuredToneGainDb(const ProcessorParams& params, double frequency) {
  ToneShaper shaper(params);
  const double fs = params.sampleRate;
  const int settle = static_cast<int>(fs);  // 1 s: the 35 Hz high-pass settles
  const int measure = static_cast<int>(fs / 2);
  double sumSquares = 0.0;
  std::vector<double> stereo(2 * (settle + measure));
  for (int i = 0; i < settle + measure; ++i) {
    stereo[2 * i] = stereo[2 * i + 1] = std::sin(2.0 * std::numbers::pi * frequency * i / fs);
  }
  shaper.process(stereo.data(), stereo.data(), settle + measure);
  for (int i = settle; i < settle + measure; ++i) sumSquares += stereo[2 * i] * stereo[2 * i];
  return 10.0 * std::log10(2.0 * sumSquares / measure);
}

TEST(ToneShaper, PresetGainsMatchTheDesignedSectionsAndTheMeasuredSignal) {
  struct Case {
    const char* preset;
    double fs;
    double mudDb, presenceDb, shelfDb, outputDb;
  };
  const Case cases[] = {
      {"light", 48000.0, -2.4, 2.1, 1.2, -1.2},   {"normal", 48000.0, -5.2, 4.55, 2.6, -2.6},
      {"strong", 48000.0, -5.2, 4.55, 2.6, -2.6}, {"normal", 44100.0, -5.2, 4.55, 2.6, -2.6},
      {"light", 16000.0, -2.4, 2.1, 1.2, -1.2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.preset << " at " << c.fs);
    ProcessorParams params = baseParams(c.fs);
    ASSERT_TRUE(applyPreset(params, c.preset));
    ToneShaper shaper(params);
    EXPECT_NEAR(sectionResponseDb(shaper.section(0), 35.0, c.fs), -10.0 * std::log10(2.0), 1e-9);
    EXPECT_NEAR(sectionResponseDb(shaper.section(1), 220.0, c.fs), c.mudDb, 1e-9);
    EXPECT_NEAR(sectionResponseDb(shaper.section(2), 3200.0, c.fs), c.presenceDb, 1e-9);
    EXPECT_NEAR(sectionResponseDb(shaper.section(3), c.fs / 2.0, c.fs), c.shelfDb, 1e-9);
    EXPECT_NEAR(20.0 * std::log10(shaper.outputGain()), c.outputDb, 1e-12);

    double expected3200 = 20.0 * std::log10(shaper.outputGain());
    for (int s = 0; s < ToneShaper::kSections; ++s) {
      expected3200 += sectionResponseDb(shaper.section(s), 3200.0, c.fs);
    }
    EXPECT_NEAR(measuredToneGainDb(params, 3200.0), expected3200, 0.02);
  }
}

TEST(ToneShaper, ShelfCornerFollowsTheRateBelow17500Hz) {
  // Corner at min(0.4 fs, 7000): at 8 kHz the corner is 3200 Hz, so half the
  // shelf gain shows there on top of the presence peak.
  ProcessorParams params = baseParams(8000.0);
  applyPreset(params, "normal");
  ToneShaper shaper(params);
  EXPECT_NEAR(sectionResponseDb(shaper.section(3), 3200.0, 8000.0), 1.3, 0.05);
}

}  // namespace
}  // namespace kestrune
