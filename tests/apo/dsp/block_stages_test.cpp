// The block stages on their own: centre ducker, scene lift, output limiter.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "apo/dsp/centre_ducker.h"
#include "apo/dsp/output_limiter.h"
#include "apo/dsp/scene_lift.h"
#include "test_signals.h"

namespace kestrune {
namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 48;

ProcessorParams paramsFor(const char* preset) {
  ProcessorParams p = baseParams(kRate);
  applyPreset(p, preset);
  return p;
}

// Feeds blocks of a quiet noise bed with a 1 kHz burst in the given block
// range to a ducker; returns the duck value of every output block (index =
// the block it stands for).
std::vector<double> duckTrace(const ProcessorParams& params, int burstBlock, int burstBlocks,
                              bool left, bool right, int secondBurstBlock = -1, int blocks = 400) {
  std::vector<float> signal = testing_signals::noise(std::size_t{kBlock} * blocks, 2, 1e-4f, 99);
  testing_signals::addBurst(signal, kRate, std::size_t{kBlock} * burstBlock,
                            std::size_t{kBlock} * burstBlocks, 1000.0, 0.3f, left, right);
  if (secondBurstBlock >= 0) {
    testing_signals::addBurst(signal, kRate, std::size_t{kBlock} * secondBurstBlock,
                              std::size_t{kBlock} * burstBlocks, 1000.0, 0.3f, left, right);
  }
  CentreDucker ducker(params);
  FirstOrderStereoSection unchanged;
  std::vector<double> trace;
  double block[2 * kBlock];
  double out[2 * kBlock];
  for (int b = 0; b < blocks; ++b) {
    for (int k = 0; k < 2 * kBlock; ++k) block[k] = signal[std::size_t{kBlock} * 2 * b + k];
    if (ducker.process(block, unchanged, out)) trace.push_back(ducker.duckDb());
  }
  return trace;
}

double deepest(const std::vector<double>& trace, int from, int to) {
  double low = 0.0;
  for (int i = from; i < to && i < static_cast<int>(trace.size()); ++i)
    low = std::min(low, trace[i]);
  return low;
}

TEST(CentreDucker, CentredBurstDucksMidOnlyOnceBlock62IsPassed) {
  struct Case {
    const char* name;
    const char* preset;
    int burstBlock;
    bool left, right;
    double expectedDepthDb;  // 0 means no duck at all
  };
  const Case cases[] = {
      {"centred at 100, normal", "normal", 100, true, true, -8.0},
      {"centred at 100, light", "light", 100, true, true, -4.0},
      {"centred at 60: the first block an onset can be", "normal", 60, true, true, -8.0},
      {"centred at 40: before onsets can be found", "normal", 40, true, true, 0.0},
      {"left only at 100", "normal", 100, true, false, 0.0},
      {"right only at 100", "strong", 100, false, true, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto trace = duckTrace(paramsFor(c.preset), c.burstBlock, 3, c.left, c.right);
    if (c.expectedDepthDb == 0.0) {
      EXPECT_GT(deepest(trace, 0, static_cast<int>(trace.size())), -0.5);
      continue;
    }
    // Detected two blocks ahead: the duck starts two blocks before the
    // onset block, reaches its depth quickly and holds for 60 blocks.
    EXPECT_EQ(trace[c.burstBlock - 3], 0.0);
    EXPECT_LT(trace[c.burstBlock - 2], -0.5);
    EXPECT_NEAR(deepest(trace, c.burstBlock, c.burstBlock + 59), c.expectedDepthDb, 0.01);
    EXPECT_NEAR(trace[c.burstBlock + 59], c.expectedDepthDb, 0.01);
    // Then it releases with the 60-block time constant.
    const double k = std::exp(-1.0 / 60.0);
    for (int j : {0, 1, 30, 120}) {
      EXPECT_NEAR(trace[c.burstBlock + 60 + j], c.expectedDepthDb * std::pow(k, j + 1), 1e-6);
    }
  }
}

TEST(CentreDucker, WithoutADuckTheOutputIsTheInputFourBlocksLater) {
  // Mid plus side and mid minus side must give back left and right, each on
  // its own side, even for one-sided and antiphase content.
  CentreDucker ducker(paramsFor("normal"));
  FirstOrderStereoSection unchanged;
  const auto signal = testing_signals::noise(std::size_t{kBlock} * 40, 2, 0.5f, 5);
  std::vector<double> out(2 * kBlock);
  std::vector<std::vector<double>> sent;
  for (int b = 0; b < 40; ++b) {
    std::vector<double> block(signal.begin() + 2 * kBlock * b,
                              signal.begin() + 2 * kBlock * (b + 1));
    if (b % 3 == 0)
      for (int i = 0; i < kBlock; ++i) block[2 * i + 1] = 0.0;  // left only
    if (b % 3 == 1)
      for (int i = 0; i < kBlock; ++i) block[2 * i + 1] = -block[2 * i];
    sent.push_back(block);
    if (!ducker.process(block.data(), unchanged, out.data())) continue;
    ASSERT_EQ(ducker.duckDb(), 0.0);
    for (int k = 0; k < 2 * kBlock; ++k)
      ASSERT_NEAR(out[k], sent[b - 4][k], 1e-15) << b << " " << k;
  }
}

TEST(CentreDucker, OnsetsCloserThanTheRefractoryTimeDoNotExtendTheHold) {
  const ProcessorParams params = paramsFor("normal");
  const auto single = duckTrace(params, 100, 2, true, true);
  const auto close = duckTrace(params, 100, 2, true, true, 140);  // 40 blocks later
  const auto apart = duckTrace(params, 100, 2, true, true, 170);  // 70 blocks later
  EXPECT_EQ(close, single);
  EXPECT_NEAR(apart[225], -8.0, 0.01);  // second hold runs to 230
  EXPECT_NEAR(single[225], -8.0 * std::pow(std::exp(-1.0 / 60.0), 66), 1e-6);
}

TEST(SceneLift, SettledGainFollowsTheWorkedExamples) {
  // Steady noise gives equal short- and long-term levels; the lift then
  // settles at min((1 - 1/2)(-28 - level), cap) while headroom allows.
  struct Case {
    const char* preset;
    double levelDb;
    double gainDb;
  };
  const Case cases[] = {
      {"normal", -48.0, 10.0},  // min(10, 12)
      {"light", -48.0, 9.0},    // capped by liftMaxDb
      {"strong", -60.0, 16.0},  // min(16, 21)
      {"normal", -80.0, 6.0},   // cap (80-85 over 10) of 12 = 6 near the floor
      {"normal", -24.0, 0.0},   // above the lift threshold
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.preset << " at " << c.levelDb);
    SceneLift lift(paramsFor(c.preset));
    // Noise with equal power on every block: constant +-a has power a^2.
    const double a = std::pow(10.0, c.levelDb / 20.0);
    std::vector<double> block(2 * kBlock);
    for (int k = 0; k < 2 * kBlock; ++k) block[k] = (k / 2) % 2 ? a : -a;
    std::vector<double> out(2 * kBlock);
    for (int b = 0; b < 25000; ++b) lift.process(block.data(), block.data(), 0.0, out.data());
    EXPECT_NEAR(lift.lastDecision().gainDb, c.gainDb, 0.01);
    // The last frame of a block carries the block gain exactly.
    EXPECT_NEAR(std::abs(out[2 * kBlock - 1]) / a,
                std::pow(10.0, lift.lastDecision().gainDb / 20.0), 1e-12);
  }
}

TEST(SceneLift, LoudPeakStopsLiftAndToneAtOnceFor600BlocksAndCompresses) {
  SceneLift lift(paramsFor("normal"));
  const double quiet = std::pow(10.0, -50.0 / 20.0);
  const double loud = std::pow(10.0, -16.0 / 20.0);  // short-term peak -16 dB
  std::vector<double> q(2 * kBlock, quiet), l(2 * kBlock, loud), out(2 * kBlock);
  for (int b = 0; b < 20000; ++b) lift.process(q.data(), q.data(), 0.0, out.data());
  ASSERT_GT(lift.lastDecision().gainDb, 5.0);
  ASSERT_EQ(lift.lastDecision().mix, 1.0);

  // Five loud blocks make the short-term level -16 dB; the lift looks two
  // blocks ahead, so the decision for the block two before already drops.
  for (int b = 0; b < 5; ++b) lift.process(l.data(), l.data(), 0.0, out.data());
  const LiftDecision& d = lift.lastDecision();
  EXPECT_LT(d.mix, 1e-40);
  EXPECT_LT(d.roomDb, 1e-40);
  EXPECT_NEAR(d.compDb, -7.0, 1e-9);  // -min(12, 0.875 x 8)
  EXPECT_NEAR(d.gainDb, -7.0, 1e-9);

  int blocksHeld = 0;
  for (int b = 0; b < 700; ++b) {
    lift.process(q.data(), q.data(), 0.0, out.data());
    if (lift.lastDecision().mix == 0.0 || lift.lastDecision().mix < 1e-40) ++blocksHeld;
  }
  // Loud until m + 600 for the last loud block; 5 loud blocks seen.
  EXPECT_GE(blocksHeld, 595);
  EXPECT_LE(blocksHeld, 605);
  EXPECT_GT(lift.lastDecision().mix, 0.0);
}

TEST(SceneLift, TransientBoostIsHeldOffWhileTheCentreDuckWorks) {
  for (double duckDb : {0.0, -4.0}) {
    SceneLift lift(paramsFor("normal"));
    const double quiet = std::pow(10.0, -60.0 / 20.0);
    const double step = std::pow(10.0, -40.0 / 20.0);  // 20 dB over the long-term level
    std::vector<double> q(2 * kBlock, quiet), s(2 * kBlock, step), out(2 * kBlock);
    for (int b = 0; b < 3000; ++b) lift.process(q.data(), q.data(), duckDb, out.data());
    for (int b = 0; b < 3; ++b) lift.process(s.data(), s.data(), duckDb, out.data());
    const std::uint32_t flags = lift.takeFlags();
    if (duckDb == 0.0) {
      EXPECT_GT(lift.lastDecision().boostDb, 5.0);
      EXPECT_EQ(flags & kFlagTransientBoost, kFlagTransientBoost);
      EXPECT_EQ(flags & kFlagCentreDuck, 0u);
    } else {
      EXPECT_EQ(lift.lastDecision().boostDb, 0.0);
      EXPECT_EQ(flags & kFlagTransientBoost, 0u);
      EXPECT_EQ(flags & kFlagCentreDuck, kFlagCentreDuck);
    }
    EXPECT_EQ(lift.takeFlags(), 0u);  // taking clears
  }
}

TEST(OutputLimiter, BlockPeakingAtTwoIsHalvedInDbThenClamped) {
  OutputLimiter limiter(paramsFor("normal"));
  const double ceiling = std::pow(10.0, -1.0 / 20.0);
  std::vector<double> block(2 * kBlock, 1.0), out(2 * kBlock);
  block[10] = 2.0;
  block[11] = -2.0;
  EXPECT_FALSE(limiter.process(block.data(), out.data()));  // one block of look-ahead
  ASSERT_TRUE(limiter.process(block.data(), out.data()));
  const double halfDb = 0.5 * 20.0 * std::log10(ceiling / 2.0);
  EXPECT_NEAR(halfDb, -3.51, 0.005);
  EXPECT_NEAR(limiter.limitDb(), halfDb, 1e-12);
  const double gain = std::pow(10.0, halfDb / 20.0);
  EXPECT_NEAR(out[0], gain, 1e-12);  // 1.0 scaled, under the ceiling
  EXPECT_EQ(out[10], ceiling);       // 2.0 scaled to 1.34, clamped
  EXPECT_EQ(out[11], -ceiling);
}

}  // namespace
}  // namespace kestrune
