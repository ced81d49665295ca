#include "apo/dsp/footstep_processor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "test_signals.h"

namespace kestrune {
namespace {

using testing_signals::noise;
using testing_signals::randomSplit;

std::unique_ptr<FootstepProcessor> makeProcessor(double rate, const char* preset, bool aligned) {
  ProcessorParams params = baseParams(rate);
  applyPreset(params, preset);
  return FootstepProcessor::create(params, aligned);
}

// Runs the whole stereo input through the processor in calls of the given sizes.
std::vector<float> run(FootstepProcessor& p, const std::vector<float>& input,
                       const std::vector<std::uint32_t>& calls) {
  std::vector<float> out(input.size());
  std::size_t done = 0;
  for (std::uint32_t n : calls) {
    p.process(input.data() + 2 * done, out.data() + 2 * done, n);
    done += n;
  }
  return out;
}

std::vector<float> runWhole(FootstepProcessor& p, const std::vector<float>& input) {
  return run(p, input, {static_cast<std::uint32_t>(input.size() / 2)});
}

// A busy test scene: a noise bed with loud and quiet bursts on both sides.
std::vector<float> busyScene(double rate, double seconds, std::uint32_t seed) {
  const auto frames = static_cast<std::size_t>(rate * seconds);
  std::vector<float> s = noise(frames, 2, 0.01f, seed);
  for (std::size_t at = frames / 10; at + 2000 < frames; at += frames / 7) {
    testing_signals::addBurst(s, rate, at, 600, 1500.0, 0.5f, true, true);
    testing_signals::addBurst(s, rate, at + 1500, 300, 2500.0, 0.05f, true, false);
  }
  return s;
}

TEST(FootstepProcessor, FirstLatencyFramesAreExactSilenceForAnyInput) {
  for (double rate : {8000.0, 44100.0, 48000.0, 192000.0}) {
    for (bool aligned : {true, false}) {
      SCOPED_TRACE(testing::Message() << rate << (aligned ? " aligned" : " not aligned"));
      auto p = makeProcessor(rate, "strong", aligned);
      const std::size_t latency = p->latencyFrames();
      const auto in = noise(latency + 20 * p->blockFrames(), 2, 1.0f, 7);
      const auto out = runWhole(*p, in);
      for (std::size_t k = 0; k < 2 * latency; ++k) ASSERT_EQ(out[k], 0.0f) << k;
      EXPECT_TRUE(
          std::any_of(out.begin() + 2 * latency, out.end(), [](float x) { return x != 0; }));
    }
  }
}

TEST(FootstepProcessor, SilenceStaysExactlySilent) {
  for (const char* preset : {"light", "normal", "strong"}) {
    auto p = makeProcessor(48000.0, preset, true);
    const std::vector<float> in(2 * 48000 * 3, 0.0f);  // 3 s: past every warm-up
    const auto out = runWhole(*p, in);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float x) { return x == 0.0f; })) << preset;
    EXPECT_EQ(p->takeStatusFlags(), 0u);
  }
}

TEST(FootstepProcessor, NonFiniteSamplesCountAsZeroAndHugeOnesAsFour) {
  const auto base = busyScene(48000.0, 1.0, 3);
  std::vector<float> dirty = base;
  std::vector<float> clean = base;
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Poke {
    std::size_t index;
    float dirty;
    float clean;
  };
  const Poke pokes[] = {{1001, nan, 0.0f},
                        {2002, inf, 0.0f},
                        {3003, -inf, 0.0f},
                        {40000, 10.0f, 4.0f},
                        {40001, -1e30f, -4.0f},
                        {50000, 4.5f, 4.0f},
                        {60000, std::numeric_limits<float>::max(), 4.0f}};
  for (const Poke& poke : pokes) {
    dirty[poke.index] = poke.dirty;
    clean[poke.index] = poke.clean;
  }
  auto a = makeProcessor(48000.0, "normal", true);
  auto b = makeProcessor(48000.0, "normal", true);
  const auto outDirty = runWhole(*a, dirty);
  const auto outClean = runWhole(*b, clean);
  ASSERT_EQ(outDirty, outClean);
  EXPECT_TRUE(
      std::all_of(outDirty.begin(), outDirty.end(), [](float x) { return std::isfinite(x); }));
}

TEST(FootstepProcessor, AnySplitOfCallsGivesTheSameStreamWhenNotAligned) {
  for (double rate : {44100.0, 48000.0}) {
    const auto in = busyScene(rate, 1.5, 11);
    const std::size_t frames = in.size() / 2;
    auto reference = makeProcessor(rate, "normal", false);
    const auto expected = runWhole(*reference, in);
    const std::uint32_t block = static_cast<std::uint32_t>(reference->blockFrames());
    struct Split {
      const char* name;
      std::vector<std::uint32_t> calls;
    };
    std::vector<Split> splits = {
        {"single frames", std::vector<std::uint32_t>(frames, 1)},
        {"whole blocks", {}},
        {"random up to 1000", randomSplit(frames, 1000, 5)},
        {"random up to 3", randomSplit(frames, 3, 6)},
        {"odd 441", {}},
    };
    splits[1].calls.assign(frames / block, block);
    splits[1].calls.push_back(static_cast<std::uint32_t>(frames % block));
    for (std::size_t done = 0; done < frames; done += 441) {
      splits[4].calls.push_back(
          static_cast<std::uint32_t>(std::min<std::size_t>(441, frames - done)));
    }
    for (const Split& split : splits) {
      SCOPED_TRACE(testing::Message() << rate << " " << split.name);
      auto p = makeProcessor(rate, "normal", false);
      ASSERT_EQ(run(*p, in, split.calls), expected);
    }
  }
}

TEST(FootstepProcessor, AlignedCallEndingInsideABlockOutputsZerosAndDelaysTheRest) {
  const auto in = busyScene(48000.0, 0.5, 13);
  const std::size_t frames = in.size() / 2;
  auto reference = makeProcessor(48000.0, "normal", true);
  const auto expected = runWhole(*reference, in);

  auto p = makeProcessor(48000.0, "normal", true);
  const std::uint32_t firstCall = 480 * 10 + 30;  // ends 30 frames into a block
  std::vector<std::uint32_t> calls = {firstCall};
  for (std::size_t done = firstCall; done < frames; done += 480) {
    calls.push_back(static_cast<std::uint32_t>(std::min<std::size_t>(480, frames - done)));
  }
  const auto out = run(*p, in, calls);
  const std::size_t shortage = 30;
  for (std::size_t t = 0; t < frames; ++t) {
    for (int ch = 0; ch < 2; ++ch) {
      float want;
      if (t < firstCall - shortage) {
        want = expected[2 * t + ch];
      } else if (t < firstCall) {
        want = 0.0f;
      } else {
        want = expected[2 * (t - shortage) + ch];
      }
      ASSERT_EQ(out[2 * t + ch], want) << "frame " << t;
    }
  }
}

TEST(FootstepProcessor, ZeroFrameCallChangesNothing) {
  const auto in = busyScene(48000.0, 0.3, 17);
  auto a = makeProcessor(48000.0, "light", false);
  auto b = makeProcessor(48000.0, "light", false);
  const auto expected = runWhole(*a, in);
  const std::uint32_t half = static_cast<std::uint32_t>(in.size() / 4);
  EXPECT_EQ(run(*b, in, {0, half, 0, 0, static_cast<std::uint32_t>(in.size() / 2) - half, 0}),
            expected);
}

TEST(FootstepProcessor, OutputNeverExceedsTheCeiling) {
  const float ceiling = static_cast<float>(std::pow(10.0, -1.0 / 20.0));
  const double rate = 48000.0;
  const std::size_t frames = 48000 * 2;
  struct Case {
    const char* name;
    std::vector<float> input;
  };
  std::vector<Case> cases;
  cases.push_back({"full-scale noise", noise(frames, 2, 1.0f, 21)});
  cases.push_back({"noise at 4", noise(frames, 2, 4.0f, 22)});
  cases.push_back({"quiet noise", noise(frames, 2, 0.001f, 23)});
  auto square = [&](double hz, float amp, bool antiphase) {
    std::vector<float> s(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
      const float x = std::fmod(static_cast<double>(i) * hz / rate, 1.0) < 0.5 ? amp : -amp;
      s[2 * i] = x;
      s[2 * i + 1] = antiphase ? -x : x;
    }
    return s;
  };
  cases.push_back({"square 50 Hz full scale", square(50.0, 1.0f, false)});
  cases.push_back({"square 3 kHz full scale", square(3000.0, 1.0f, false)});
  cases.push_back({"square 12 kHz antiphase", square(12000.0, 1.0f, true)});
  cases.push_back({"alternating +-1e30", square(24000.0, 1e30f, false)});
  cases.push_back({"DC", std::vector<float>(2 * frames, 1.0f)});
  std::vector<float> clicks(2 * frames, 0.0f);
  for (std::size_t i = 1000; i < frames; i += 4801) clicks[2 * i] = clicks[2 * i + 1] = 4.0f;
  cases.push_back({"clicks after silence", clicks});
  std::vector<float> quietThenLoud = noise(frames, 2, 0.0005f, 24);
  for (std::size_t i = frames / 2; i < frames; ++i)
    quietThenLoud[2 * i] = 1.0f;  // lifted scene meets DC step
  cases.push_back({"quiet scene then loud step", quietThenLoud});

  for (const Case& c : cases) {
    for (const char* preset : {"light", "normal", "strong"}) {
      SCOPED_TRACE(testing::Message() << c.name << ", " << preset);
      auto p = makeProcessor(rate, preset, false);
      const auto out = runWhole(*p, c.input);
      float peak = 0.0f;
      for (float x : out) peak = std::max(peak, std::abs(x));
      EXPECT_LE(peak, ceiling);
    }
  }
}

}  // namespace
}  // namespace kestrune
