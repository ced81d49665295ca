// The meter feed: on each 16 ms tick, the new level records of the shared
// meter section become one {"meter":[...]} text for the page, and after each
// attachment and then every 60 ticks the format becomes {"fmt":[R,N,P]}.
// Works on the section's bytes; opening and mapping are the platform's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kestrune::app {

// A read-only view of the whole section (its bytes stay valid while the
// object lives).
class MappedMeterSection {
 public:
  virtual ~MappedMeterSection() = default;
  virtual const unsigned char* bytes() const = 0;
};

class MeterSectionSource {
 public:
  virtual ~MeterSectionSource() = default;
  // Opens and maps the section read-only; null when it cannot.
  virtual std::unique_ptr<MappedMeterSection> open() = 0;
};

// Header fields as the reader sees them.
struct MeterHeader {
  std::int32_t writeIndex = 0;
  std::uint64_t instanceId = 0;
  std::int32_t sampleRate = 0;
  std::int32_t channels = 0;
  std::int32_t state = 0;
};
MeterHeader readMeterHeader(const unsigned char* section);

// {"fmt":[rate,channels,state]}
std::string formatMessage(const MeterHeader& header);

// {"meter":[[i,o,s],...]} for record numbers first .. end - 1 (first >= 0).
std::string meterMessage(const unsigned char* section, std::int64_t first, std::int64_t end);

// What one tick has for the page; an empty text means nothing to post.
struct MeterTick {
  std::string format;
  std::string meter;
};

// [ui] The feed's state: the mapped view, the tick counter and the cursor
// (the next record number not yet posted).
class MeterFeed {
 public:
  explicit MeterFeed(MeterSectionSource& source) : source_(source) {}

  // One timer tick. Without a web view nothing is built, but the records are
  // consumed, so the page never gets old ones in bulk.
  MeterTick tick(bool webViewPresent);

  std::int64_t cursor() const { return cursor_; }

 private:
  void attach(std::unique_ptr<MappedMeterSection> view);

  MeterSectionSource& source_;
  std::unique_ptr<MappedMeterSection> view_;
  // 64-bit so that neither wraps in the life of the process.
  std::int64_t ticks_ = 0;
  std::int64_t cursor_ = 0;
};

inline constexpr int kMeterRecheckTicks = 60;
inline constexpr int kMeterHistoryRecords = 1600;

}  // namespace kestrune::app
