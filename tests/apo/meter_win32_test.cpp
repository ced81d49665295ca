// The meter section as the effect attaches, fills and re-attaches it.
#include <gtest/gtest.h>

#include "tests/apo/apo_host_win32.h"

namespace kestrune::test {
namespace {

constexpr UINT32 kPeriod = 480;  // 10 ms at 48 kHz: two meter records per call

struct Stream {
  Apo apo = Apo::create();
  Connections connections{floatFormat(2, 48000.0f), kPeriod};
  UINT32 calls = 0;

  HRESULT lock() { return connections.lock(apo.config.get()); }
  void play(int n) {
    for (int i = 0; i < n; ++i, ++calls) {
      const std::vector<float> in = testSignal(kPeriod, 2, calls);
      std::vector<float> out(in.size());
      processBuffer(apo.rt.get(), in.data(), out.data(), kPeriod);
    }
  }
};

TEST(ApoMeter, AttachesWhenTheServiceCreatesTheSectionAndAgainWhenItRecreatesIt) {
  ScopedSettings settings;
  settings.set(kValueMeter, 1);
  ScopedLogFolder log;
  ASSERT_FALSE(mapMeterSection()) << "a meter section was left behind by another test";
  Stream s;
  ASSERT_TRUE(s.apo.config);
  ASSERT_EQ(s.lock(), S_OK);
  s.play(10);
  // Two watcher passes without a section: the line is written once only.
  ::Sleep(1100);
  EXPECT_EQ(ScopedLogFolder::count("meter not available (error 2)"), 1) << ScopedLogFolder::text();

  UniqueHandle first = createMeterSection(0x1111);
  ASSERT_TRUE(first);
  const auto created = std::chrono::steady_clock::now();
  ASSERT_TRUE(waitUntil([] { return ScopedLogFolder::count("meter connected") == 1; }, 2000));
  // One watcher pass (1 s) plus slack for a loaded test machine.
  EXPECT_LT(std::chrono::steady_clock::now() - created, std::chrono::milliseconds(1500));
  UniqueView view = mapMeterSection();
  ASSERT_TRUE(view);
  volatile MeterSection* m = meterOf(view);
  ASSERT_TRUE(waitUntil([&] { return m->state == kMeterStateActive; }, 2000));
  EXPECT_EQ(m->sampleRate, 48000);
  EXPECT_EQ(m->channels, 2u);

  const std::int32_t before = m->writeIndex;
  s.play(50);
  EXPECT_EQ(m->writeIndex - before, 100) << "one record every 5 ms";
  const volatile MeterRecord& r = m->records[meterRecordSlot(m->writeIndex - 3)];
  EXPECT_GT(r.inputLevel, 0) << "meter on: measured levels";
  EXPECT_GT(r.outputLevel, 0);

  settings.set(kValueMeter, 0);
  ASSERT_TRUE(waitUntil(
      [&] {
        s.play(2);
        return m->records[meterRecordSlot(m->writeIndex - 2)].inputLevel == 0;
      },
      2000));
  s.play(5);
  for (std::int32_t k = m->writeIndex - 8; k < m->writeIndex - 1; ++k) {
    const volatile MeterRecord& z = m->records[meterRecordSlot(k)];
    EXPECT_EQ(z.inputLevel + z.outputLevel + z.status, 0)
        << "meter off: zero records, still written";
  }

  // The service restarts: a new creation with a new instance id.
  view.reset();
  first.reset();
  UniqueHandle second = createMeterSection(0x2222);
  ASSERT_TRUE(second);
  ASSERT_TRUE(waitUntil(
      [] { return ScopedLogFolder::count("meter re-connected (service restarted)") == 1; }, 2000));
  view = mapMeterSection();
  ASSERT_TRUE(view);
  m = meterOf(view);
  ASSERT_TRUE(waitUntil([&] { return m->state == kMeterStateActive; }, 2000));
  const std::int32_t fresh = m->writeIndex;
  s.play(5);
  EXPECT_EQ(m->writeIndex - fresh, 10) << "records continue in the new section";

  EXPECT_EQ(s.apo.config->UnlockForProcess(), S_OK);
  EXPECT_EQ(m->state, kMeterStateIdle);
  const std::int32_t after = m->writeIndex;
  ::Sleep(50);
  EXPECT_EQ(m->writeIndex, after);
  EXPECT_EQ(ScopedLogFolder::count("meter not available (error 2)"), 1);
  EXPECT_EQ(ScopedLogFolder::count("meter connected"), 1);
}

TEST(ApoMeter, SectionWithWrongMagicIsIgnoredAndPassThroughIsPublished) {
  ScopedSettings settings;
  ScopedLogFolder log;
  UniqueHandle section = createMeterSection(0x3333);
  ASSERT_TRUE(section);
  {
    UniqueView v = mapMeterSection();
    ASSERT_TRUE(v);
    static_cast<MeterSection*>(v.get())->magic[3] = '2';
  }
  Apo a = Apo::create();
  ASSERT_TRUE(a.config);
  Connections c(floatFormat(40, 96000.0f), 256);
  ASSERT_EQ(c.lock(a.config.get()), S_OK);
  ::Sleep(300);
  EXPECT_EQ(ScopedLogFolder::count("meter connected"), 0);
  EXPECT_EQ(ScopedLogFolder::count("meter not available (error 2)"), 0) << "a section exists";
  {
    UniqueView v = mapMeterSection();
    static_cast<MeterSection*>(v.get())->magic[3] = '1';
  }
  ASSERT_TRUE(waitUntil([] { return ScopedLogFolder::count("meter connected") == 1; }, 2000));
  UniqueView view = mapMeterSection();
  volatile MeterSection* m = meterOf(view);
  ASSERT_TRUE(waitUntil([&] { return m->state == kMeterStatePassThrough; }, 2000));
  EXPECT_EQ(m->sampleRate, 96000);
  EXPECT_EQ(m->channels, 40u);
  EXPECT_EQ(a.config->UnlockForProcess(), S_OK);
  EXPECT_EQ(m->state, kMeterStateIdle);
}

TEST(ApoMeter, InstancesInOneProcessShareTheRecordRing) {
  ScopedSettings settings;
  ScopedLogFolder log;
  UniqueHandle section = createMeterSection(0x4444);
  ASSERT_TRUE(section);
  Stream first, second;
  ASSERT_EQ(first.lock(), S_OK);
  ASSERT_EQ(second.lock(), S_OK);
  ASSERT_TRUE(waitUntil([] { return ScopedLogFolder::count("meter connected") == 2; }, 2000));
  UniqueView view = mapMeterSection();
  volatile MeterSection* m = meterOf(view);
  const std::int32_t w = m->writeIndex;
  first.play(5);
  second.play(5);
  EXPECT_EQ(m->writeIndex - w, 20);
  EXPECT_EQ(first.apo.config->UnlockForProcess(), S_OK);
  EXPECT_EQ(second.apo.config->UnlockForProcess(), S_OK);
  EXPECT_EQ(m->state, kMeterStateIdle);
}

TEST(ApoMeter, KeepsFollowingTheServiceAcrossManyRestarts) {
  ScopedSettings settings;
  ScopedLogFolder log;
  UniqueHandle section = createMeterSection(100);
  ASSERT_TRUE(section);
  Stream s;
  ASSERT_TRUE(s.apo.config);
  ASSERT_EQ(s.lock(), S_OK);
  ASSERT_TRUE(waitUntil([] { return ScopedLogFolder::count("meter connected") == 1; }, 2000));
  // More restarts than the effect keeps replaced views for.
  for (int restart = 1; restart <= 10; ++restart) {
    SCOPED_TRACE(restart);
    section.reset();
    section = createMeterSection(100 + restart);
    ASSERT_TRUE(section);
    settings.set(kValueDebug, restart);  // any write wakes the watcher at once
    ASSERT_TRUE(waitUntil(
        [&] { return ScopedLogFolder::count("meter re-connected (service restarted)") == restart; },
        2000));
    UniqueView view = mapMeterSection();
    volatile MeterSection* m = meterOf(view);
    ASSERT_TRUE(waitUntil([&] { return m->state == kMeterStateActive; }, 2000));
    const std::int32_t w = m->writeIndex;
    s.play(3);
    EXPECT_EQ(m->writeIndex - w, 6);
  }
  EXPECT_EQ(s.apo.config->UnlockForProcess(), S_OK);
  UniqueView view = mapMeterSection();
  EXPECT_EQ(meterOf(view)->state, kMeterStateIdle);
}

}  // namespace
}  // namespace kestrune::test
