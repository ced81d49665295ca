// Fake render endpoints under the real endpoint root of the test prefix, and
// snapshots of their effect properties for byte-exact comparisons.
#pragma once

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "service/endpoints/endpoint_inventory_win32.h"
#include "service/endpoints/endpoint_plan.h"
#include "tests/support/scoped_registry_win32.h"

namespace kestrune::service::test {

using kestrune::test::RegistryValue;

inline RegistryValue textValue(const std::wstring& name, const std::wstring& units,
                               DWORD type = REG_SZ) {
  const auto* p = reinterpret_cast<const BYTE*>(units.data());
  return {name, type, std::vector<BYTE>(p, p + units.size() * sizeof(wchar_t))};
}
inline RegistryValue sz(const std::wstring& name, const std::wstring& text) {
  return textValue(name, std::wstring(text.c_str(), text.size() + 1));
}
inline RegistryValue dword(const std::wstring& name, DWORD v) {
  return {name, REG_DWORD, {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}};
}

struct FakeEndpoint {
  std::wstring id;
  std::optional<DWORD> deviceState = 1;
  std::optional<std::wstring> description;
  std::optional<std::wstring> interfaceName;
  bool hasFxKey = true;
  std::vector<RegistryValue> fx;
};

inline void createEndpoint(const FakeEndpoint& e) {
  const std::wstring path = kRenderRootPath + e.id;
  HKEY key = nullptr;
  ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
  if (key) ::RegCloseKey(key);
  if (e.deviceState)
    kestrune::test::setDword(HKEY_LOCAL_MACHINE, path, L"DeviceState", *e.deviceState);
  const std::wstring props = path + L"\\Properties";
  if (e.description)
    kestrune::test::setString(HKEY_LOCAL_MACHINE, props, kPropDeviceDesc, *e.description);
  if (e.interfaceName)
    kestrune::test::setString(HKEY_LOCAL_MACHINE, props, kPropInterfaceName, *e.interfaceName);
  if (!e.hasFxKey) return;
  const std::wstring fx = FxPropertiesPath(e.id);
  ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, fx.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
  if (key) ::RegCloseKey(key);
  for (const RegistryValue& v : e.fx)
    kestrune::test::setBytes(HKEY_LOCAL_MACHINE, fx, v.name, v.type, v.bytes);
}

// The effect property values of an endpoint, sorted by name; nullopt when
// the key does not exist.
inline std::optional<std::vector<RegistryValue>> fxValues(const std::wstring& id) {
  kestrune::test::KeySnapshot snap;
  if (!kestrune::test::snapshotKey(HKEY_LOCAL_MACHINE, FxPropertiesPath(id), snap))
    return std::nullopt;
  std::sort(snap.values.begin(), snap.values.end(),
            [](const RegistryValue& a, const RegistryValue& b) { return a.name < b.name; });
  return snap.values;
}

inline bool sameValues(const std::optional<std::vector<RegistryValue>>& a,
                       const std::optional<std::vector<RegistryValue>>& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  return std::equal(a->begin(), a->end(), b->begin(), b->end(),
                    [](const RegistryValue& x, const RegistryValue& y) {
                      return x.name == y.name && x.type == y.type && x.bytes == y.bytes;
                    });
}

}  // namespace kestrune::service::test
