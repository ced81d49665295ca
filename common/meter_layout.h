// The shared meter section: created by the service, written by the effect,
// read by the desktop app. The byte layout is fixed (little-endian) and checked
// at compile time so all three agree.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrune {

inline constexpr std::uint32_t kMeterSectionBytes = 16448;
inline constexpr std::uint32_t kMeterRecordCount = 2048;
inline constexpr std::uint32_t kMeterHeaderBytes = 64;
inline constexpr char kMeterMagic[4] = {'K', 'S', 'M', '1'};

// Status bits of a meter record.
inline constexpr std::uint8_t kStatusTransientBoost = 1;
inline constexpr std::uint8_t kStatusCentreDuck = 2;
inline constexpr std::uint8_t kStatusCompressor = 4;
inline constexpr std::uint8_t kStatusProcessorPlaying = 8;

// Header state codes.
inline constexpr std::int32_t kMeterStateIdle = 0;
inline constexpr std::int32_t kMeterStateActive = 1;
inline constexpr std::int32_t kMeterStatePassThrough = 2;

#pragma pack(push, 1)

// One 5 ms period: input peak, the following period's output peak, status bits.
struct MeterRecord {
  std::uint16_t inputLevel;   // 0..65535 for 0..1.0 of full scale
  std::uint16_t outputLevel;
  std::uint8_t status;
  std::uint8_t reserved[3];  // never written
};

struct MeterSection {
  char magic[4];              // service, at creation
  std::int32_t writeIndex;    // effect, atomic add only
  std::uint64_t instanceId;   // service, at creation
  std::int32_t sampleRate;    // effect's watcher
  std::uint32_t channels;     // effect's watcher
  std::int32_t state;         // effect's watcher and unlock
  std::uint8_t reserved[36];
  MeterRecord records[kMeterRecordCount];  // record k at index k mod 2048
};

#pragma pack(pop)

static_assert(sizeof(MeterRecord) == 8);
static_assert(offsetof(MeterRecord, inputLevel) == 0);
static_assert(offsetof(MeterRecord, outputLevel) == 2);
static_assert(offsetof(MeterRecord, status) == 4);
static_assert(offsetof(MeterRecord, reserved) == 5);

static_assert(offsetof(MeterSection, magic) == 0);
static_assert(offsetof(MeterSection, writeIndex) == 4);
static_assert(offsetof(MeterSection, instanceId) == 8);
static_assert(offsetof(MeterSection, sampleRate) == 16);
static_assert(offsetof(MeterSection, channels) == 20);
static_assert(offsetof(MeterSection, state) == 24);
static_assert(offsetof(MeterSection, reserved) == 28);
static_assert(offsetof(MeterSection, records) == kMeterHeaderBytes);
static_assert(sizeof(MeterSection) == kMeterSectionBytes);

// Index of record k in the ring.
constexpr std::uint32_t meterRecordSlot(std::int64_t k) {
  return static_cast<std::uint32_t>(k) % kMeterRecordCount;
}

// Peak (fraction of full scale, never negative) to a 16-bit level, rounded;
// above full scale reads 65535.
constexpr std::uint16_t meterLevelFromPeak(float peak) {
  if (!(peak > 0.0f)) return 0;
  if (peak >= 1.0f) return 65535;
  return static_cast<std::uint16_t>(peak * 65535.0f + 0.5f);
}

}  // namespace kestrune
