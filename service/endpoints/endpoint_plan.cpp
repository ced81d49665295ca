#include "service/endpoints/endpoint_plan.h"

#include "common/names.h"

namespace kestrune::service {

std::vector<std::uint8_t> regSzBytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xff));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

namespace {

std::u16string asciiToU16(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

ValueRecord textRecord(std::uint32_t type, std::u16string_view text) {
  return ValueRecord{true, type, regSzBytes(text)};
}

}  // namespace

std::vector<PlannedValue> PlanEndpointValues(bool full) {
  // The default processing mode, as one REG_MULTI_SZ entry: string, NUL, NUL.
  std::u16string modes = u"{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}";
  modes.push_back(u'\0');
  std::vector<PlannedValue> plan;
  plan.push_back({kPropEndpointEffectClsid, textRecord(kRegSz, asciiToU16(kEffectClsidText))});
  plan.push_back({kPropProcessingModesForStreaming, textRecord(kRegMultiSz, modes)});
  if (full) {
    plan.push_back(
        {kPropFxAssociation, textRecord(kRegSz, u"{00000000-0000-0000-0000-000000000000}")});
    plan.push_back({kPropStreamEffectClsid, ValueRecord{}});
    plan.push_back({kPropModeEffectClsid, ValueRecord{}});
  }
  return plan;
}

JournalEntry parseJournalEntryName(std::wstring_view valueName) {
  if (valueName.size() < 2 || valueName[1] != L':') return {};
  return {valueName[0] == L'v' ? JournalEntryKind::Saved : JournalEntryKind::Added,
          std::wstring(valueName.substr(2))};
}

bool couldBeEndpointId(std::wstring_view id) {
  return !id.empty() && id.find_first_of(std::wstring_view(L"\\\0", 2)) == std::wstring_view::npos;
}

}  // namespace kestrune::service
