// Registry work of installation and removal. Only the effect's registration
// decides the installer's result; other failures are ignored by design.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "service/install/install_layout.h"

namespace kestrune::service {

// Writes each entry into root\path (created as needed), in order. A REG_SZ
// includes its terminating NUL. ERROR_SUCCESS, or the first failure (the
// later entries are still tried).
LSTATUS writeRegistryEntries(HKEY root, const std::wstring& path,
                             const std::vector<RegistryEntry>& entries);

// Seeds Wanted/Mode/Intensity when missing (unreadable as REG_DWORD, or 99),
// the games list when it reads empty, and always Enabled = 0 and Meter = 0.
void seedSettings();

// RegDeleteTreeW, then RegDeleteKeyW.
void deleteRegistryTree(HKEY root, const wchar_t* path);

// HKCU Run value "Kestrune": rewritten only when it names the former tray
// program.
void repointRunValue(const std::wstring& installFolder);

}  // namespace kestrune::service
