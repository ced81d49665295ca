// Meter records the engine writes into an attached section.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "apo/dsp/effect_engine.h"
#include "dsp_paths.h"
#include "test_signals.h"

namespace kestrune {
namespace {

struct MeterFixture {
  std::unique_ptr<MeterSection> section = std::make_unique<MeterSection>();
  EffectEngine engine;

  MeterFixture(std::uint32_t channels, double rate, std::uint32_t maxFrames, std::int32_t selector,
               DspPath path) {
    std::memset(section.get(), 0, sizeof(MeterSection));
    std::memcpy(section->magic, kMeterMagic, 4);
    EXPECT_TRUE(engine.setup(StreamFormat{channels, rate, 4, true}, maxFrames, selector, path));
    engine.syncTargetToCurrent();
    engine.attachMeter(section.get());
  }
};

// The meter's peaks are taken by each code path's own loop.
class EngineMeterTest : public testing_paths::OnEachPath {};
KESTRUNE_ON_EACH_PATH(EngineMeterTest);

// Stereo input whose peak changes from one 240-frame period to the next.
std::vector<float> steppedInput(std::size_t periods, std::size_t period) {
  std::vector<float> in(2 * periods * period);
  for (std::size_t k = 0; k < periods; ++k) {
    const float peak = 0.001f + 0.9f * static_cast<float>((k * 37) % 100) / 100.0f;
    for (std::size_t i = 0; i < period; ++i) {
      const float sign = (i % 2) ? 1.0f : -1.0f;
      in[2 * (k * period + i)] = sign * peak * (i == period / 2 ? 1.0f : 0.5f);
      in[2 * (k * period + i) + 1] = -sign * peak * 0.25f;
    }
  }
  return in;
}

TEST_P(EngineMeterTest, OneRecordEvery240FramesAt48kHzWhateverTheCallSizes) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    MeterFixture f(2, 48000.0, 1024, 2, path());
    const std::size_t frames = 24000;
    const auto in = testing_signals::noise(frames, 2, 0.2f, seed);
    std::vector<float> out(in.size());
    const auto calls = testing_signals::randomSplit(frames, seed == 1 ? 7 : 1024, seed);
    std::size_t done = 0;
    for (std::uint32_t n : calls) {
      ASSERT_TRUE(f.engine.process(in.data() + 2 * done, out.data() + 2 * done, n, false));
      done += n;
      ASSERT_EQ(f.section->writeIndex, static_cast<std::int32_t>(done / 240)) << done;
    }
  }
  MeterFixture f(2, 44100.0, 441, 2, path());
  const std::vector<float> in(2 * 441 * 10, 0.0f);
  std::vector<float> out(in.size());
  for (int c = 0; c < 10; ++c)
    f.engine.process(in.data() + 882 * c, out.data() + 882 * c, 441, false);
  EXPECT_EQ(f.section->writeIndex, 4410 / 220);  // int(44100 / 200) = 220
}

TEST_P(EngineMeterTest, RecordPairsInputPeakWithTheNextPeriodsOutputPeakAndStatus) {
  for (std::uint32_t channels : {2u, 1u}) {
    SCOPED_TRACE(testing::Message() << channels << " channels");
    MeterFixture f(channels, 48000.0, 480, 3, path());
    f.section->writeIndex = 2047;  // another instance wrote before: the ring wraps
    f.engine.setMeterEnabled(true);
    const std::size_t periods = 40;
    const auto stereo = steppedInput(periods, 240);
    std::vector<float> in(stereo.size() / 2 * channels);
    for (std::size_t i = 0; i < stereo.size() / 2; ++i) {
      in[i * channels] = stereo[2 * i];
      if (channels == 2) in[i * channels + 1] = stereo[2 * i + 1];
    }
    std::vector<float> out(in.size());
    for (std::size_t c = 0; c < periods / 2; ++c) {
      ASSERT_TRUE(f.engine.process(in.data() + 480 * channels * c, out.data() + 480 * channels * c,
                                   480, false));
    }
    ASSERT_EQ(f.section->writeIndex, 2047 + static_cast<std::int32_t>(periods));
    auto peakOf = [&](const std::vector<float>& v, std::size_t k) {
      float peak = 0.0f;
      for (std::size_t i = k * 240 * channels; i < (k + 1) * 240 * channels; ++i) {
        peak = std::max(peak, std::abs(v[i]));
      }
      return peak;
    };
    for (std::size_t k = 0; k + 1 < periods; ++k) {
      const MeterRecord& r =
          f.section->records[meterRecordSlot(2047 + static_cast<std::int64_t>(k))];
      // Mono is seen on both sides, so the channel's own peak is the stereo peak.
      EXPECT_EQ(r.inputLevel, meterLevelFromPeak(peakOf(in, k))) << k;
      EXPECT_EQ(r.outputLevel, meterLevelFromPeak(peakOf(out, k + 1))) << k;
      EXPECT_EQ(r.status & kStatusProcessorPlaying, kStatusProcessorPlaying) << k;
    }
    // The newest record holds its input level twice until the next completes it.
    const MeterRecord& open = f.section->records[meterRecordSlot(2047 + periods - 1)];
    EXPECT_EQ(open.outputLevel, open.inputLevel);
    EXPECT_EQ(open.status, 0);
    // The record before the engine's first one was completed by it.
    EXPECT_EQ(f.section->records[meterRecordSlot(2046)].outputLevel,
              meterLevelFromPeak(peakOf(out, 0)));
  }
}

TEST_P(EngineMeterTest, RecordsStayPairedWhenTheSharedIndexWrapsPastItsLargestValue) {
  MeterFixture f(2, 48000.0, 480, 2, path());
  f.engine.setMeterEnabled(true);
  f.section->writeIndex = std::numeric_limits<std::int32_t>::max();
  const auto in = testing_signals::noise(960, 2, 0.5f, 8);
  std::vector<float> out(in.size());
  f.engine.process(in.data(), out.data(), 480, false);
  f.engine.process(in.data() + 960, out.data() + 960, 480, false);
  ASSERT_EQ(f.section->writeIndex, std::numeric_limits<std::int32_t>::min() + 3);
  // Records 2^31 - 1 and on sit in the ring's last slot, then slots 0, 1, 2;
  // all but the newest are complete, also those written at negative indexes.
  for (int slot : {2047, 0, 1}) {
    EXPECT_NE(f.section->records[slot].status & kStatusProcessorPlaying, 0) << slot;
  }
  EXPECT_EQ(f.section->records[2].status, 0);
}

TEST_P(EngineMeterTest, SwitchOffWritesZeroRecordsAndDetachedWritesNone) {
  MeterFixture f(2, 48000.0, 480, 2, path());
  const auto loud = testing_signals::noise(4800, 2, 1.0f, 5);
  std::vector<float> out(loud.size());
  for (std::size_t c = 0; c < 10; ++c)
    f.engine.process(loud.data() + 960 * c, out.data() + 960 * c, 480, false);
  EXPECT_EQ(f.section->writeIndex, 20);
  for (int k = 0; k < 20; ++k) {
    EXPECT_EQ(f.section->records[k].inputLevel, 0);
    EXPECT_EQ(f.section->records[k].outputLevel, 0);
    EXPECT_EQ(f.section->records[k].status, 0);
  }
  EXPECT_EQ(f.engine.attachMeter(nullptr), f.section.get());
  f.engine.process(loud.data(), out.data(), 480, false);
  EXPECT_EQ(f.section->writeIndex, 20);
}

TEST_P(EngineMeterTest, StatusBitsShowWhichStageWorksOnlyWhileAProcessorPlays) {
  struct Case {
    std::int32_t selector;
    float amplitude;
    std::uint8_t mustHave;
    std::uint8_t mustLack;
  };
  const Case cases[] = {
      {0, 0.9f, 0, 0xFF},                                         // dry: always 0
      {2, 0.9f, kStatusProcessorPlaying | kStatusCompressor, 0},  // loud: compressor works
      {1, 0.0f, kStatusProcessorPlaying, kStatusCompressor | kStatusTransientBoost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selector);
    MeterFixture f(2, 48000.0, 480, c.selector, path());
    f.engine.setMeterEnabled(true);
    const auto in = testing_signals::noise(48000, 2, c.amplitude, 9);
    std::vector<float> out(in.size());
    for (std::size_t d = 0; d < 48000; d += 480) {
      f.engine.process(in.data() + 2 * d, out.data() + 2 * d, 480, false);
    }
    const MeterRecord& r = f.section->records[meterRecordSlot(f.section->writeIndex - 2)];
    EXPECT_EQ(r.status & c.mustHave, c.mustHave);
    EXPECT_EQ(r.status & c.mustLack, 0);
  }
}

}  // namespace
}  // namespace kestrune
