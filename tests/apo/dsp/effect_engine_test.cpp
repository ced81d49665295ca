#include "apo/dsp/effect_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "apo/dsp/denormals.h"
#include "apo/dsp/footstep_processor.h"
#include "dsp_paths.h"
#include "test_signals.h"

namespace kestrune {
namespace {

using testing_signals::noise;

// Every test runs on each code path. Where the processors' output is
// compared with a FootstepProcessor's, the path's tolerance applies.
class EffectEngineTest : public testing_paths::OnEachPath {};
KESTRUNE_ON_EACH_PATH(EffectEngineTest);

StreamFormat floatFormat(std::uint32_t channels, double rate) {
  return StreamFormat{channels, rate, 4, true};
}

// Runs interleaved frames through the engine in calls of callFrames.
std::vector<float> runEngine(EffectEngine& engine, const std::vector<float>& input,
                             std::uint32_t channels, std::uint32_t callFrames) {
  std::vector<float> out(input.size());
  const std::size_t frames = input.size() / channels;
  for (std::size_t done = 0; done < frames; done += callFrames) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(callFrames, frames - done));
    EXPECT_TRUE(
        engine.process(input.data() + done * channels, out.data() + done * channels, n, false));
  }
  return out;
}

// What a processor of the given preset makes of the first two channels (one
// channel: the same on both sides), in the engine's call pattern.
std::vector<float> processorPath(const char* preset, const std::vector<float>& input,
                                 std::uint32_t channels, double rate, bool aligned,
                                 std::uint32_t callFrames) {
  ProcessorParams params = baseParams(rate);
  applyPreset(params, preset);
  auto p = FootstepProcessor::create(params, aligned);
  const std::size_t frames = input.size() / channels;
  std::vector<float> stereo(2 * frames);
  for (std::size_t i = 0; i < frames; ++i) {
    stereo[2 * i] = input[i * channels];
    stereo[2 * i + 1] = input[i * channels + (channels > 1 ? 1 : 0)];
  }
  std::vector<float> out(2 * frames);
  for (std::size_t done = 0; done < frames; done += callFrames) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(callFrames, frames - done));
    p->process(stereo.data() + 2 * done, out.data() + 2 * done, n);
  }
  return out;
}

float delayed(const std::vector<float>& input, std::uint32_t channels, std::size_t frame,
              std::uint32_t channel, std::size_t latency) {
  return frame < latency ? 0.0f : input[(frame - latency) * channels + channel];
}

TEST_P(EffectEngineTest, UnsupportedFormatsPassThroughUnchanged) {
  struct Case {
    const char* name;
    StreamFormat format;
  };
  const Case cases[] = {
      {"33 channels", {33, 48000.0, 4, true}}, {"0 channels", {0, 48000.0, 4, true}},
      {"4000 Hz", {2, 4000.0, 4, true}},       {"192001 Hz", {2, 192001.0, 4, true}},
      {"16-bit", {2, 48000.0, 2, false}},      {"32-bit integer", {2, 48000.0, 4, false}},
      {"64-bit float", {2, 48000.0, 8, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EffectEngine engine;
    ASSERT_TRUE(engine.setup(c.format, 480, 2, path()));
    EXPECT_FALSE(engine.active());
    EXPECT_EQ(engine.stateCode(), 2);
    const std::size_t bytes = std::size_t{480} * c.format.channels * c.format.bytesPerSample;
    std::vector<float> in((bytes + 3) / 4);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<float>(i) * 0.25f - 7.0f;
    std::vector<float> out(in.size(), -1.0f);
    EXPECT_FALSE(engine.process(in.data(), out.data(), 480, false));
    if (bytes != 0) {
      EXPECT_EQ(std::memcmp(in.data(), out.data(), bytes), 0);
    }
    EXPECT_FALSE(engine.process(in.data(), in.data(), 480, true));  // in place: untouched
  }
}

TEST_P(EffectEngineTest, SetUpDecidesActiveAtTheRangeEdges) {
  const StreamFormat active[] = {
      {1, 8000.0, 4, true}, {32, 192000.0, 4, true}, {2, 44100.0, 4, true}};
  for (const StreamFormat& f : active) {
    EffectEngine engine;
    ASSERT_TRUE(engine.setup(f, 441, 0, path()));
    EXPECT_TRUE(engine.active());
    EXPECT_EQ(engine.stateCode(), 1);
  }
  EffectEngine engine;
  ASSERT_TRUE(engine.setup(floatFormat(2, 48000.0), 480, 0, path()));
  EXPECT_EQ(engine.dspPath(), path());
  EXPECT_EQ(engine.latencyFrames(), 336);
  ASSERT_TRUE(engine.setup(floatFormat(2, 48000.0), 441, 0, path()));
  EXPECT_EQ(engine.latencyFrames(), 384);
  ASSERT_TRUE(engine.setup(floatFormat(2, 44100.0), 441, 0, path()));
  EXPECT_EQ(engine.latencyFrames(), 352);  // 441 is not a whole number of 44-frame blocks
  engine.tearDown();
  EXPECT_FALSE(engine.active());
  EXPECT_EQ(engine.stateCode(), 0);
}

TEST_P(EffectEngineTest, DryIsAnExactDelayOnEveryChannelAndExtraChannelsAlwaysAre) {
  struct Case {
    std::uint32_t channels;
    std::int32_t selector;
    std::uint32_t maxFrames;
  };
  const Case cases[] = {{2, 0, 480}, {1, 0, 480},  {6, 0, 480},
                        {6, 2, 480}, {32, 3, 441}, {3, 0, 441}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << " channels, selector " << c.selector);
    EffectEngine engine;
    ASSERT_TRUE(engine.setup(floatFormat(c.channels, 48000.0), c.maxFrames, c.selector, path()));
    const std::size_t latency = static_cast<std::size_t>(engine.latencyFrames());
    EXPECT_EQ(latency, c.maxFrames == 480 ? 336u : 384u);
    const auto in = noise(48000 / 2, static_cast<int>(c.channels), 1.0f, 31);
    const auto out = runEngine(engine, in, c.channels, c.maxFrames);
    const std::uint32_t firstPlain = c.selector == 0 ? 0 : 2;
    for (std::size_t t = 0; t < in.size() / c.channels; ++t) {
      for (std::uint32_t ch = firstPlain; ch < c.channels; ++ch) {
        ASSERT_EQ(out[t * c.channels + ch], delayed(in, c.channels, t, ch, latency))
            << "frame " << t << " channel " << ch;
      }
    }
  }
}

TEST_P(EffectEngineTest, ProcessedChannelsAreTheChosenProcessorAndMonoIsItsAverage) {
  for (std::uint32_t channels : {2u, 6u, 1u}) {
    for (std::int32_t selector : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << channels << " channels, selector " << selector);
      EffectEngine engine;
      ASSERT_TRUE(engine.setup(floatFormat(channels, 48000.0), 480, selector, path()));
      engine.syncTargetToCurrent();
      const auto in = noise(48000 / 2, static_cast<int>(channels), 0.3f, 41);
      const auto out = runEngine(engine, in, channels, 480);
      const char* presets[] = {"light", "normal", "strong"};
      const auto path = processorPath(presets[selector - 1], in, channels, 48000.0, true, 480);
      for (std::size_t t = 0; t < in.size() / channels; ++t) {
        if (channels == 1) {
          ASSERT_NEAR(out[t], (path[2 * t] + path[2 * t + 1]) * 0.5f, tolerance()) << t;
        } else {
          ASSERT_NEAR(out[t * channels], path[2 * t], tolerance()) << t;
          ASSERT_NEAR(out[t * channels + 1], path[2 * t + 1], tolerance()) << t;
        }
      }
    }
  }
}

TEST_P(EffectEngineTest, SwitchFadesLinearlyOver10msAndASecondFadeWaitsForTheFirst) {
  const std::uint32_t call = 300;  // the target changes while the first fade runs
  const auto in = noise(48000 / 4, 2, 0.3f, 51);
  const auto normal = processorPath("normal", in, 2, 48000.0, false, call);
  const auto strong = processorPath("strong", in, 2, 48000.0, false, call);
  EffectEngine engine;
  ASSERT_TRUE(engine.setup(floatFormat(2, 48000.0), call, 0, path()));
  const std::size_t latency = static_cast<std::size_t>(engine.latencyFrames());
  std::vector<float> out(in.size());
  const std::size_t switchAt = 1200;  // call boundary where the target goes to 2
  for (std::size_t done = 0; done < in.size() / 2; done += call) {
    if (done == switchAt) engine.setTargetSelector(2);
    if (done == switchAt + call) engine.setTargetSelector(3);
    ASSERT_TRUE(engine.process(in.data() + 2 * done, out.data() + 2 * done, call, false));
  }
  auto expectFade = [&](std::size_t t, const std::vector<float>* from, const std::vector<float>* to,
                        std::size_t start) {
    const float g = 1.0f - static_cast<float>(480 - (t - start)) / 480.0f;
    for (int ch = 0; ch < 2; ++ch) {
      const float a = from ? (*from)[2 * t + ch] : delayed(in, 2, t, ch, latency);
      const float b = (*to)[2 * t + ch];
      const float want = g == 0.0f ? a : (1.0f - g) * a + g * b;
      ASSERT_NEAR(out[2 * t + ch], want, tolerance()) << "frame " << t;
    }
  };
  for (std::size_t t = 0; t < switchAt; ++t) {
    ASSERT_EQ(out[2 * t], delayed(in, 2, t, 0, latency));
  }
  for (std::size_t t = switchAt; t < switchAt + 480; ++t) expectFade(t, nullptr, &normal, switchAt);
  // 2 -> 3 starts the frame after the first fade ends, not at the call that asked for it.
  for (std::size_t t = switchAt + 480; t < switchAt + 960; ++t)
    expectFade(t, &normal, &strong, switchAt + 480);
  for (std::size_t t = switchAt + 960; t < in.size() / 2; ++t) {
    ASSERT_NEAR(out[2 * t], strong[2 * t], tolerance());
    ASSERT_NEAR(out[2 * t + 1], strong[2 * t + 1], tolerance());
  }
  EXPECT_EQ(engine.currentSelector(), 3);
}

TEST_P(EffectEngineTest, AnyCallSizesUpToTheMaximumGiveTheSameStream) {
  // 441 is not a whole number of blocks, so the processors carry the eighth
  // block of latency and no call size may change a single output sample.
  const auto in = noise(48000, 3, 0.4f, 57);
  EffectEngine reference;
  ASSERT_TRUE(reference.setup(floatFormat(3, 48000.0), 441, 1, path()));
  reference.syncTargetToCurrent();
  const auto expected = runEngine(reference, in, 3, 441);
  for (std::uint32_t seed : {1u, 2u}) {
    EffectEngine engine;
    ASSERT_TRUE(engine.setup(floatFormat(3, 48000.0), 441, 1, path()));
    engine.syncTargetToCurrent();
    std::vector<float> out(in.size());
    std::size_t done = 0;
    for (std::uint32_t n : testing_signals::randomSplit(in.size() / 3, seed == 1 ? 441 : 5, seed)) {
      ASSERT_TRUE(engine.process(in.data() + 3 * done, out.data() + 3 * done, n, false));
      done += n;
    }
    EXPECT_EQ(out, expected) << "seed " << seed;
  }
}

TEST_P(EffectEngineTest, SyncingTheTargetAtLockStartsNoFade) {
  EffectEngine engine;
  ASSERT_TRUE(engine.setup(floatFormat(2, 48000.0), 480, 3, path()));
  EXPECT_EQ(engine.targetSelector(), 0);
  engine.syncTargetToCurrent();
  EXPECT_EQ(engine.targetSelector(), 3);
  const auto in = noise(4800, 2, 0.3f, 61);
  const auto out = runEngine(engine, in, 2, 480);
  const auto strong = processorPath("strong", in, 2, 48000.0, true, 480);
  for (std::size_t k = 0; k < out.size(); ++k) ASSERT_NEAR(out[k], strong[k], tolerance()) << k;
  engine.setTargetSelector(9);  // out-of-range values are clamped
  EXPECT_EQ(engine.targetSelector(), 3);
  engine.setTargetSelector(-1);
  EXPECT_EQ(engine.targetSelector(), 0);
}

TEST_P(EffectEngineTest, SilentFlagProcessesZerosAndReportsValidOutput) {
  const auto garbage = noise(4800, 3, 1.0f, 71);
  const std::vector<float> zeros(garbage.size(), 0.0f);
  EffectEngine flagged, silent;
  ASSERT_TRUE(flagged.setup(floatFormat(3, 48000.0), 480, 2, path()));
  ASSERT_TRUE(silent.setup(floatFormat(3, 48000.0), 480, 2, path()));
  std::vector<float> a(garbage.size()), b(garbage.size());
  for (std::size_t done = 0; done < 4800; done += 480) {
    EXPECT_TRUE(flagged.process(garbage.data() + 3 * done, a.data() + 3 * done, 480, true));
    EXPECT_TRUE(silent.process(zeros.data() + 3 * done, b.data() + 3 * done, 480, false));
  }
  EXPECT_EQ(a, b);
}

TEST_P(EffectEngineTest, InPlaceProcessingMatchesSeparateBuffers) {
  const auto in = noise(9600, 6, 0.5f, 81);
  EffectEngine separate, inPlace;
  ASSERT_TRUE(separate.setup(floatFormat(6, 48000.0), 480, 1, path()));
  ASSERT_TRUE(inPlace.setup(floatFormat(6, 48000.0), 480, 1, path()));
  const auto expected = runEngine(separate, in, 6, 480);
  std::vector<float> buffer = in;
  for (std::size_t done = 0; done < 9600; done += 480) {
    ASSERT_TRUE(inPlace.process(buffer.data() + 6 * done, buffer.data() + 6 * done, 480, false));
  }
  EXPECT_EQ(buffer, expected);
}

#if defined(KESTRUNE_HAS_MXCSR)
TEST_P(EffectEngineTest, CallersFloatingPointModeIsRestored) {
  EffectEngine engine;
  ASSERT_TRUE(engine.setup(floatFormat(2, 48000.0), 480, 2, path()));
  const auto in = noise(480, 2, 0.5f, 93);
  std::vector<float> out(in.size());
  const unsigned saved = _mm_getcsr();
  // Default mode, and a caller that already flushes denormals itself.
  for (unsigned mode : {0x1F80u, 0x1F80u | ScopedDenormalFlush::kFlushToZero |
                                     ScopedDenormalFlush::kDenormalsAreZero}) {
    _mm_setcsr(mode);
    engine.process(in.data(), out.data(), 480, false);
    const unsigned after = _mm_getcsr();
    _mm_setcsr(saved);
    EXPECT_EQ(after & ~0x3Fu, mode & ~0x3Fu);  // ignore the sticky exception flags
  }
}
#endif

TEST_P(EffectEngineTest, CallLongerThanTheMaximumPassesThrough) {
  EffectEngine engine;
  ASSERT_TRUE(engine.setup(floatFormat(2, 48000.0), 480, 2, path()));
  const auto in = noise(481, 2, 0.5f, 91);
  std::vector<float> out(in.size());
  EXPECT_FALSE(engine.process(in.data(), out.data(), 481, false));
  EXPECT_EQ(out, in);
  EXPECT_TRUE(engine.process(in.data(), out.data(), 480, false));
  // A stream announced with no frames at all: empty calls are processed,
  // anything longer passes through.
  ASSERT_TRUE(engine.setup(floatFormat(2, 48000.0), 0, 2, path()));
  EXPECT_TRUE(engine.process(in.data(), out.data(), 0, false));
  EXPECT_FALSE(engine.process(in.data(), out.data(), 1, false));
}

// After a switch away from dry, a non-finite input sample must not poison the
// output: outside a fade only the current path is read, and during a fade a
// non-finite dry sample counts as 0. Dry alone still passes it unchanged.
TEST_P(EffectEngineTest, NonFiniteInputNeverReachesTheOutputOnceAProcessorPlays) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* name;
    std::size_t badFrame;  // input frame made non-finite
    float bad;
    std::size_t switchAt;  // frame where the target goes 0 -> 2
  };
  // With latency 336 the dry path carries the bad frame 336 frames later.
  const Case cases[] = {
      {"inf long after the fade", 3000, inf, 960},
      {"NaN long after the fade", 3000, nan, 960},
      {"inf reaching dry during the fade", 960 + 100 - 336, inf, 960},
      {"NaN reaching dry on the fade's first frame", 960 - 336, nan, 960},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto in = noise(4800, 2, 0.3f, 101);
    in[2 * c.badFrame] = c.bad;
    in[2 * c.badFrame + 1] = c.bad;
    EffectEngine engine;
    ASSERT_TRUE(engine.setup(floatFormat(2, 48000.0), 480, 0, path()));
    std::vector<float> out(in.size());
    for (std::size_t done = 0; done < 4800; done += 480) {
      if (done == c.switchAt) engine.setTargetSelector(2);
      ASSERT_TRUE(engine.process(in.data() + 2 * done, out.data() + 2 * done, 480, false));
    }
    for (std::size_t k = 2 * c.switchAt; k < out.size(); ++k) {
      ASSERT_TRUE(std::isfinite(out[k])) << "frame " << k / 2;
    }
  }
  // Dry alone: the same sample comes out unchanged, 336 frames later.
  auto in = noise(4800, 2, 0.3f, 101);
  in[2 * 1000] = inf;
  in[2 * 1000 + 1] = nan;
  EffectEngine engine;
  ASSERT_TRUE(engine.setup(floatFormat(2, 48000.0), 480, 0, path()));
  const auto out = runEngine(engine, in, 2, 480);
  EXPECT_EQ(out[2 * 1336], inf);
  EXPECT_TRUE(std::isnan(out[2 * 1336 + 1]));
}

}  // namespace
}  // namespace kestrune
