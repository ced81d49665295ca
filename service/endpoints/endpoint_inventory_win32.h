// The machine's render endpoints, read straight from the endpoint registry
// under HKLM (no audio API): the `endpoints` listing, key paths and the
// foreign-effect test used by the attach.
#pragma once

#include <string>

#include "service/endpoints/endpoint_listing.h"

namespace kestrune::service {

// The render endpoint root, 65 characters ending with a backslash.
inline constexpr wchar_t kRenderRootPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Render\\";

// The reply of the `endpoints` command (UTF-8, unframed): one line per active
// endpoint, empty when there is none, "error cannot read endpoints\n" when
// the root cannot be opened. The caller holds the service lock.
std::string ListRenderEndpoints();

// root + id + "\FxProperties", without a hive.
std::wstring FxPropertiesPath(const std::wstring& endpointId);

// True when the endpoint-effect slot holds a non-empty text that differs,
// ignoring case, from the effect's class id. Missing or unreadable: false.
bool HasForeignEffect(const std::wstring& endpointId);

// The endpoint's class given the journal's `_Device` (empty: no journal).
EndpointClass ClassifyEndpoint(const std::wstring& endpointId, const std::wstring& journalDevice);

}  // namespace kestrune::service
