#include "service/install/install_registry_win32.h"

#include "common/handles_win32.h"
#include "common/names.h"
#include "service/settings_store.h"

namespace kestrune::service {
namespace {

constexpr DWORD kMissingMarker = 99;
constexpr DWORD kRunValueMaxBytes = 2048;

LSTATUS writeText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// The installer's own notion of "missing": 99 left in the pre-filled buffer
// counts as missing too, so a stored 99 is reset.
bool settingMissing(const wchar_t* name) {
  DWORD value = kMissingMarker;
  DWORD size = sizeof(value);
  const LSTATUS status = ::RegGetValueW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, name,
                                        RRF_RT_REG_DWORD, nullptr, &value, &size);
  return status != ERROR_SUCCESS || value == kMissingMarker;
}

}  // namespace

LSTATUS writeRegistryEntries(HKEY root, const std::wstring& path,
                             const std::vector<RegistryEntry>& entries) {
  UniqueHKey key;
  const LSTATUS opened = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                           nullptr, key.put(), nullptr);
  if (opened != ERROR_SUCCESS) return opened;
  LSTATUS first = ERROR_SUCCESS;
  for (const RegistryEntry& e : entries) {
    LSTATUS status = ERROR_SUCCESS;
    if (e.isNumber) {
      const DWORD value = e.number;
      status = ::RegSetValueExW(key.get(), e.name, 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&value), sizeof(value));
    } else {
      status = writeText(key.get(), e.name, e.text);
    }
    if (first == ERROR_SUCCESS) first = status;
  }
  return first;
}

void seedSettings() {
  const struct {
    const wchar_t* name;
    std::uint32_t value;
  } seeds[] = {{kValueWanted, 1}, {kValueMode, 1}, {kValueIntensity, 2}};
  for (const auto& s : seeds) {
    if (settingMissing(s.name)) writeNumber(s.name, s.value);
  }
  if (readGamesList().empty()) writeGamesList("TslGame.exe");
  writeNumber(kValueEnabled, 0);
  writeNumber(kValueMeter, 0);
}

void deleteRegistryTree(HKEY root, const wchar_t* path) {
  ::RegDeleteTreeW(root, path);
  ::RegDeleteKeyW(root, path);
}

void repointRunValue(const std::wstring& installFolder) {
  wchar_t current[kRunValueMaxBytes / sizeof(wchar_t)] = {};
  DWORD size = sizeof(current);
  if (::RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, RRF_RT_REG_SZ, nullptr, current,
                     &size) != ERROR_SUCCESS) {
    return;
  }
  const std::wstring updated = rewrittenRunValue(current, installFolder);
  if (updated.empty()) return;
  ::RegSetKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, REG_SZ, updated.c_str(),
                    static_cast<DWORD>((updated.size() + 1) * sizeof(wchar_t)));
}

}  // namespace kestrune::service
