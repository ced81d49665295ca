#include "app/meter_feed.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/meter_layout.h"

namespace kestrune::app {
namespace {

// A section in memory; record n holds levels n and n + 1 (mod 65536) and
// status n mod 16, so every message can be checked against a formula.
struct FakeSection {
  MeterSection bytes{};
  explicit FakeSection(std::uint64_t id) {
    std::memcpy(bytes.magic, kMeterMagic, 4);
    bytes.instanceId = id;
    bytes.sampleRate = 48000;
    bytes.channels = 2;
    bytes.state = kMeterStateActive;
  }
  void writeUpTo(std::int32_t index) {
    for (std::int64_t n = std::max<std::int64_t>(0, index - 2048); n < index; ++n) {
      MeterRecord& r = bytes.records[meterRecordSlot(n)];
      r.inputLevel = static_cast<std::uint16_t>(n);
      r.outputLevel = static_cast<std::uint16_t>(n + 1);
      r.status = static_cast<std::uint8_t>(n % 16);
    }
    bytes.writeIndex = index;
  }
};

class FakeSource final : public MeterSectionSource {
 public:
  FakeSection* current = nullptr;  // null: the section does not exist
  int opens = 0;
  std::unique_ptr<MappedMeterSection> open() override {
    ++opens;
    if (!current) return nullptr;
    struct View final : MappedMeterSection {
      const unsigned char* p;
      explicit View(const FakeSection& s) : p(reinterpret_cast<const unsigned char*>(&s.bytes)) {}
      const unsigned char* bytes() const override { return p; }
    };
    return std::make_unique<View>(*current);
  }
};

std::string expectedRecords(std::int64_t first, std::int64_t end) {
  std::string out = "{\"meter\":[";
  for (std::int64_t n = first; n < end; ++n) {
    if (n != first) out += ',';
    out += "[" + std::to_string(n % 65536) + "," + std::to_string((n + 1) % 65536) + "," +
           std::to_string(n % 16) + "]";
  }
  return out + "]}";
}

TEST(MeterFeed, FirstMessageAfterAttachingCarriesEightSecondsOfHistory) {
  FakeSection section(1);
  section.writeUpTo(5000);
  FakeSource source;
  source.current = &section;
  MeterFeed feed(source);
  MeterTick t = feed.tick(true);
  EXPECT_EQ(t.format, "");
  EXPECT_EQ(t.meter, expectedRecords(3400, 4998));
  EXPECT_EQ(feed.cursor(), 4998);

  // The format follows on the next tick, then every 60 ticks.
  section.writeUpTo(5003);
  t = feed.tick(true);
  EXPECT_EQ(t.format, "{\"fmt\":[48000,2,1]}");
  EXPECT_EQ(t.meter, expectedRecords(4998, 5001));
  t = feed.tick(true);
  EXPECT_EQ(t.format, "");
  EXPECT_EQ(t.meter, "");  // nothing new
}

TEST(MeterFeed, RestartedIndexStartsOverFromZero) {
  FakeSection section(1);
  section.writeUpTo(10600);
  FakeSource source;
  source.current = &section;
  MeterFeed feed(source);
  feed.tick(true);
  ASSERT_EQ(feed.cursor(), 10598);
  section.writeUpTo(10);
  EXPECT_EQ(feed.tick(true).meter, expectedRecords(0, 8));
  EXPECT_EQ(feed.cursor(), 8);
}

TEST(MeterFeed, BacklogIsBoundedToTheRecordsStillInTheRing) {
  FakeSection section(1);
  section.writeUpTo(2000);
  FakeSource source;
  source.current = &section;
  MeterFeed feed(source);
  EXPECT_EQ(feed.tick(true).meter, expectedRecords(400, 1998));
  section.writeUpTo(9000);
  EXPECT_EQ(feed.tick(true).meter, expectedRecords(9000 - 2046, 8998));
}

TEST(MeterFeed, WithoutWebViewRecordsAreConsumedSilently) {
  FakeSection section(1);
  section.writeUpTo(5000);
  FakeSource source;
  source.current = &section;
  MeterFeed feed(source);
  for (int i = 0; i < 3; ++i) {
    section.writeUpTo(5000 + i * 7);
    const MeterTick t = feed.tick(false);
    EXPECT_EQ(t.format, "");
    EXPECT_EQ(t.meter, "");
    EXPECT_EQ(feed.cursor(), 5000 + i * 7 - 2);
  }
  section.writeUpTo(5020);
  EXPECT_EQ(feed.tick(true).meter, expectedRecords(5012, 5018));
}

TEST(MeterFeed, OpensEveryTickUntilTheSectionExistsThenEverySixtieth) {
  FakeSource source;
  MeterFeed feed(source);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(feed.tick(true).meter, "");
  EXPECT_EQ(source.opens, 5);

  FakeSection first(1);
  first.writeUpTo(100);
  source.current = &first;
  EXPECT_EQ(feed.tick(true).meter, expectedRecords(0, 98));
  EXPECT_EQ(source.opens, 6);

  // Same instance id at the check: the old view stays, the cursor runs on.
  for (int i = 1; i < 60; ++i) feed.tick(true);
  EXPECT_EQ(source.opens, 6);
  first.writeUpTo(110);
  EXPECT_EQ(feed.tick(true).meter, expectedRecords(98, 108));
  EXPECT_EQ(source.opens, 7);

  // A new instance id replaces the view and starts 1600 records back.
  FakeSection second(2);
  second.writeUpTo(3000);
  second.bytes.sampleRate = 44100;
  source.current = &second;
  for (int i = 1; i < 60; ++i) feed.tick(true);
  EXPECT_EQ(feed.tick(true).meter, expectedRecords(1400, 2998));
  EXPECT_EQ(feed.tick(true).format, "{\"fmt\":[44100,2,1]}");

  // A vanished section keeps the old view.
  source.current = nullptr;
  for (int i = 0; i < 58; ++i) feed.tick(true);
  second.writeUpTo(3004);
  EXPECT_EQ(feed.tick(true).meter, expectedRecords(2998, 3002));
}

TEST(MeterFeed, LevelsAndStatusAreUnsignedAndFormatSigned) {
  FakeSection section(1);
  section.writeUpTo(3);
  section.bytes.records[0] = {65535, 40000, 255, {}};
  section.bytes.sampleRate = -1;
  section.bytes.state = kMeterStatePassThrough;
  EXPECT_EQ(meterMessage(reinterpret_cast<const unsigned char*>(&section.bytes), 0, 1),
            "{\"meter\":[[65535,40000,255]]}");
  EXPECT_EQ(formatMessage(readMeterHeader(reinterpret_cast<const unsigned char*>(&section.bytes))),
            "{\"fmt\":[-1,2,2]}");
}

}  // namespace
}  // namespace kestrune::app
