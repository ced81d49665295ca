// Names shared by several deliverables: registry paths and value names, the
// control pipe, the meter section and the effect's class id. One definition
// each, so the service, the effect, the app and the client cannot drift.
#pragma once

#include <cstdint>

namespace kestrune {

// Machine-wide settings key under HKEY_LOCAL_MACHINE; the service is its only writer.
inline constexpr wchar_t kSettingsKeyPath[] = L"SOFTWARE\\Kestrune";
inline constexpr wchar_t kJournalKeyPath[] = L"SOFTWARE\\Kestrune\\Journal";

inline constexpr wchar_t kValueWanted[] = L"Wanted";
inline constexpr wchar_t kValueMode[] = L"Mode";
inline constexpr wchar_t kValueIntensity[] = L"Intensity";
inline constexpr wchar_t kValueEnabled[] = L"Enabled";
inline constexpr wchar_t kValueMeter[] = L"Meter";
inline constexpr wchar_t kValueDebug[] = L"Debug";
inline constexpr wchar_t kValueGames[] = L"Games";

// Per-user preferences under HKEY_CURRENT_USER, owned by the desktop app.
inline constexpr wchar_t kUserKeyPath[] = L"Software\\Kestrune";
inline constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValueName[] = L"Kestrune";

// Render endpoints as Windows keeps them under HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kRenderEndpointsPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Render";

// Control pipe: one request of at most 4095 bytes, one reply per connection.
inline constexpr char kPipeNameA[] = "\\\\.\\pipe\\Kestrune";
inline constexpr wchar_t kPipeNameW[] = L"\\\\.\\pipe\\Kestrune";
inline constexpr std::uint32_t kMaxRequestBytes = 4095;
inline constexpr std::uint32_t kMaxReplyBytes = 65535;

// Shared meter section (layout in meter_layout.h).
inline constexpr wchar_t kMeterSectionName[] = L"Global\\KestruneMeter";

// The effect's COM class id, 38 characters with braces. A macro as well, so
// registry paths that contain it can be built as literals.
#define KESTRUNE_EFFECT_CLSID_TEXT "{B3C1F6A2-5D4E-4F8A-9C7B-2E1D0A9F8C64}"
inline constexpr char kEffectClsidText[] = KESTRUNE_EFFECT_CLSID_TEXT;
inline constexpr wchar_t kEffectClsidTextW[] = L"" KESTRUNE_EFFECT_CLSID_TEXT;
inline constexpr char16_t kEffectClsidTextU[] = u"" KESTRUNE_EFFECT_CLSID_TEXT;
static_assert(sizeof(kEffectClsidText) == 39);

// Windows service names.
inline constexpr wchar_t kServiceName[] = L"KestruneService";
inline constexpr wchar_t kAudioServiceName[] = L"Audiosrv";

// The effect's diagnostic log; the only log the product keeps.
inline constexpr wchar_t kLogFolder[] = L"C:/ProgramData/Kestrune";
inline constexpr wchar_t kLogPath[] = L"C:/ProgramData/Kestrune/apo.log";

// Desktop app single-instance names.
inline constexpr wchar_t kAppMutexName[] = L"Local\\KestruneApp";
inline constexpr wchar_t kAppWindowClass[] = L"KestruneApp";

}  // namespace kestrune
