// The per-user key HKCU\Software\Kestrune (REG_DWORD values; missing or of
// another type reads as absent) and the Run value that starts the app with
// Windows.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app/prefs.h"

namespace kestrune::app {

inline constexpr wchar_t kValueNotify[] = L"Notify";
inline constexpr wchar_t kValueStartMinimized[] = L"StartMinimized";
inline constexpr wchar_t kValueResumeOn[] = L"ResumeOn";

std::optional<DWORD> readUserDword(const wchar_t* name);
// Creates the key when needed; failures are not reported.
void writeUserDword(const wchar_t* name, DWORD value);

// Balloons are shown unless Notify is present and 0.
bool balloonsEnabled();

Prefs readPrefs();
// "startup" writes or deletes the Run value naming `exePath` with
// "--startup"; the others write their DWORD. Failures are not reported.
void writePref(PrefName name, bool value, const std::wstring& exePath);

}  // namespace kestrune::app
