#include "service/endpoints/endpoint_inventory_win32.h"

#include <windows.h>

#include "common/handles_win32.h"
#include "common/names.h"
#include "common/utf8_win32.h"
#include "service/endpoints/endpoint_plan.h"
#include "service/settings_store.h"
#include "service/u16_win32.h"

namespace kestrune::service {

namespace {

constexpr DWORD kEndpointNameChars = 128;
constexpr DWORD kDeviceStateActive = 1;

bool isActive(const std::wstring& endpointKeyPath) {
  DWORD state = 0;
  DWORD size = sizeof(state);
  return ::RegGetValueW(HKEY_LOCAL_MACHINE, endpointKeyPath.c_str(), L"DeviceState",
                        RRF_RT_REG_DWORD, nullptr, &state, &size) == ERROR_SUCCESS &&
         state == kDeviceStateActive;
}

bool fxPropertiesHoldValues(const std::wstring& endpointId) {
  UniqueHKey fx;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, FxPropertiesPath(endpointId).c_str(), 0, KEY_QUERY_VALUE,
                      fx.put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD values = 0;
  if (::RegQueryInfoKeyW(fx.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return values > 0;
}

}  // namespace

std::wstring FxPropertiesPath(const std::wstring& endpointId) {
  return kRenderRootPath + endpointId + L"\\FxProperties";
}

bool HasForeignEffect(const std::wstring& endpointId) {
  return isForeignEffectText(
      asU16(readText(FxPropertiesPath(endpointId).c_str(), kPropEndpointEffectClsid)));
}

EndpointClass ClassifyEndpoint(const std::wstring& endpointId, const std::wstring& journalDevice) {
  if (endpointId == journalDevice) return EndpointClass::Ours;
  if (HasForeignEffect(endpointId)) return EndpointClass::OtherEffect;
  if (fxPropertiesHoldValues(endpointId)) return EndpointClass::HasEffects;
  return EndpointClass::NoEffects;
}

std::string ListRenderEndpoints() {
  UniqueHKey root;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRenderRootPath, 0, KEY_READ, root.put()) !=
      ERROR_SUCCESS) {
    return "error cannot read endpoints\n";
  }
  const std::wstring journalDevice = readText(kJournalKeyPath, kJournalDevice);
  std::string reply;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kEndpointNameChars] = {};
    DWORD nameChars = kEndpointNameChars;
    if (::RegEnumKeyExW(root.get(), index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    const std::wstring id(name, nameChars);
    const std::wstring endpointPath = kRenderRootPath + id;
    if (!isActive(endpointPath)) continue;
    const EndpointClass cls = ClassifyEndpoint(id, journalDevice);
    const std::wstring propertiesPath = endpointPath + L"\\Properties";
    const std::wstring description = readText(propertiesPath.c_str(), kPropDeviceDesc);
    const std::wstring interfaceName = readText(propertiesPath.c_str(), kPropInterfaceName);
    reply +=
        formatEndpointLine(wideToUtf8(id), wideToUtf8(description), wideToUtf8(interfaceName), cls);
  }
  return reply;
}

}  // namespace kestrune::service
