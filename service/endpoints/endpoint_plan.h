// Platform-free part of attaching the effect: the registry value record, the
// property names involved and the values an attach writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::service {

// Registry type codes as Windows defines them (kept here so this file needs
// no platform header).
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Endpoint property value names (format GUID, comma, index).
inline constexpr wchar_t kPropEndpointEffectClsid[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},7";
inline constexpr wchar_t kPropProcessingModesForStreaming[] =
    L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},7";
inline constexpr wchar_t kPropFxAssociation[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},0";
inline constexpr wchar_t kPropStreamEffectClsid[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5";
inline constexpr wchar_t kPropModeEffectClsid[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},6";
inline constexpr wchar_t kPropDeviceDesc[] = L"{a45c254e-df1c-4efd-8020-67d146a850e0},2";
inline constexpr wchar_t kPropInterfaceName[] = L"{b3f8fa53-0004-438e-9003-51a46e139bfc},6";

// Journal bookkeeping values; entries are "v:"/"a:" + property name.
inline constexpr wchar_t kJournalDevice[] = L"_Device";
inline constexpr wchar_t kJournalFull[] = L"_Full";
inline constexpr wchar_t kJournalPhase[] = L"_Phase";

// A registry value as read: absent, or its type and exact bytes.
struct ValueRecord {
  bool present = false;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;

  bool operator==(const ValueRecord&) const = default;
};

struct PlannedValue {
  std::wstring name;   // property value name in FxProperties
  ValueRecord record;  // what the attach leaves there (absent: delete)
};

// The values an attach writes, in order: the endpoint-effect slot and the
// default processing mode; with `full` also the association (any node type)
// and the deletion of the stream- and mode-effect slots.
std::vector<PlannedValue> PlanEndpointValues(bool full);

// REG_SZ bytes of a UTF-16 text with its terminating NUL.
std::vector<std::uint8_t> regSzBytes(std::u16string_view text);

enum class JournalEntryKind { None, Saved, Added };
struct JournalEntry {
  JournalEntryKind kind = JournalEntryKind::None;
  std::wstring property;  // the FxProperties value name it stands for
};
// Classifies a journal value name: "v:" + name (saved value), any other
// "<c>:" + name (added, to delete on restore), else not an entry.
JournalEntry parseJournalEntryName(std::wstring_view valueName);

// Whether the text can be the name of an endpoint key: a registry key name is
// never empty and holds no backslash or NUL. Anything else would make the
// built FxProperties path name another key (a NUL cuts the path short at the
// endpoint's own key).
bool couldBeEndpointId(std::wstring_view id);

}  // namespace kestrune::service
