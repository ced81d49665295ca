#include "app/meter_feed.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "common/meter_layout.h"

namespace kestrune::app {

namespace {

template <typename T>
T readField(const unsigned char* section, std::size_t offset) {
  // The effect writes concurrently; one plain copy per field is enough
  // because the write index is read once per tick and records below it
  // are complete.
  T value;
  std::memcpy(&value, section + offset, sizeof value);
  return value;
}

void appendNumber(std::string& out, std::int64_t value) {
  char digits[24];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, end);
}

// Records below write index - 2 are complete; 2046 back is the oldest the
// ring still holds.
constexpr std::int64_t kOpenRecords = 2;
constexpr std::int64_t kReadableRecords = kMeterRecordCount - kOpenRecords;

}  // namespace

MeterHeader readMeterHeader(const unsigned char* section) {
  MeterHeader h;
  h.writeIndex = readField<std::int32_t>(section, offsetof(MeterSection, writeIndex));
  h.instanceId = readField<std::uint64_t>(section, offsetof(MeterSection, instanceId));
  h.sampleRate = readField<std::int32_t>(section, offsetof(MeterSection, sampleRate));
  h.channels = readField<std::int32_t>(section, offsetof(MeterSection, channels));
  h.state = readField<std::int32_t>(section, offsetof(MeterSection, state));
  return h;
}

std::string formatMessage(const MeterHeader& header) {
  std::string out = "{\"fmt\":[";
  appendNumber(out, header.sampleRate);
  out += ',';
  appendNumber(out, header.channels);
  out += ',';
  appendNumber(out, header.state);
  out += "]}";
  return out;
}

std::string meterMessage(const unsigned char* section, std::int64_t first, std::int64_t end) {
  std::string out = "{\"meter\":[";
  out.reserve(out.size() + static_cast<std::size_t>(end - first) * 18 + 2);
  for (std::int64_t n = first; n < end; ++n) {
    const std::size_t at = kMeterHeaderBytes + meterRecordSlot(n) * sizeof(MeterRecord);
    if (n != first) out += ',';
    out += '[';
    appendNumber(out, readField<std::uint16_t>(section, at + offsetof(MeterRecord, inputLevel)));
    out += ',';
    appendNumber(out, readField<std::uint16_t>(section, at + offsetof(MeterRecord, outputLevel)));
    out += ',';
    appendNumber(out, readField<std::uint8_t>(section, at + offsetof(MeterRecord, status)));
    out += ']';
  }
  out += "]}";
  return out;
}

void MeterFeed::attach(std::unique_ptr<MappedMeterSection> view) {
  view_ = std::move(view);
  cursor_ = std::int64_t{readMeterHeader(view_->bytes()).writeIndex} - kMeterHistoryRecords;
}

MeterTick MeterFeed::tick(bool webViewPresent) {
  if (view_) {
    ++ticks_;
    if (ticks_ % kMeterRecheckTicks == 0) {
      // A new instance id means the service created the section anew.
      std::unique_ptr<MappedMeterSection> fresh = source_.open();
      if (fresh && readMeterHeader(fresh->bytes()).instanceId !=
                       readMeterHeader(view_->bytes()).instanceId) {
        attach(std::move(fresh));
      }
    }
  } else {
    std::unique_ptr<MappedMeterSection> fresh = source_.open();
    if (!fresh) return {};
    attach(std::move(fresh));
  }

  MeterTick out;
  const MeterHeader header = readMeterHeader(view_->bytes());
  if (webViewPresent && ticks_ % kMeterRecheckTicks == 1) out.format = formatMessage(header);

  const std::int64_t written = header.writeIndex;
  const std::int64_t limit = written - kOpenRecords;
  if (limit < cursor_ - std::int64_t{kMeterRecordCount}) cursor_ = 0;  // the section restarted
  const std::int64_t start = std::max({cursor_, written - kReadableRecords, std::int64_t{0}});
  if (limit <= start || !webViewPresent) {
    cursor_ = std::max(cursor_, limit);
    return out;
  }
  out.meter = meterMessage(view_->bytes(), start, limit);
  cursor_ = limit;
  return out;
}

}  // namespace kestrune::app
