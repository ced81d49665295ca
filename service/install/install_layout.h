// Names and registry contents of an installation, platform-free so the
// formats are checked natively and the installer and uninstaller share them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/names.h"

namespace kestrune::service {

inline constexpr wchar_t kInstallSubfolder[] = L"\\Kestrune";
inline constexpr wchar_t kServiceExeName[] = L"kestrune_service.exe";
inline constexpr wchar_t kEffectDllName[] = L"KestruneApo.dll";
inline constexpr wchar_t kAppExeName[] = L"kestrune_app.exe";
inline constexpr wchar_t kCtlExeName[] = L"kestrune_ctl.exe";
inline constexpr wchar_t kFormerTrayExeName[] = L"kestrune_tray.exe";
inline constexpr wchar_t kUiFolderName[] = L"ui";
inline constexpr wchar_t kLogFileName[] = L"\\apo.log";
inline constexpr wchar_t kShortcutName[] = L"\\Orvantis.lnk";
inline constexpr wchar_t kFormerShortcutName[] = L"\\Kestrune.lnk";
inline constexpr wchar_t kDllCopyPattern[] = L"\\KestruneApo-*.dll";

inline constexpr wchar_t kComClassKeyPath[] =
    L"SOFTWARE\\Classes\\CLSID\\" KESTRUNE_EFFECT_CLSID_TEXT;
inline constexpr wchar_t kApoKeyPath[] =
    L"SOFTWARE\\Classes\\AudioEngine\\AudioProcessingObjects\\" KESTRUNE_EFFECT_CLSID_TEXT;
inline constexpr wchar_t kUninstallKeyPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrune";

inline constexpr wchar_t kServiceDisplayName[] = L"Orvantis";
inline constexpr wchar_t kServiceDescription[] =
    L"Orvantis: footstep enhancement. Switches its audio effect on while a listed game runs "
    L"(process names only; never touches the game).";
inline constexpr wchar_t kShortcutDescription[] = L"Orvantis: hear enemy footsteps in PUBG";
inline constexpr wchar_t kLogSddl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFW;;;LS)(A;;FR;;;BU)";

inline constexpr std::uint32_t kFailureResetSeconds = 86400;
inline constexpr std::uint32_t kFailureRestartDelayMs = 2000;

// Local time, as the effect copy's name needs it.
struct LocalStamp {
  int year, month, day, hour, minute, second;
};

// folder + "\KestruneApo-YYYYMMDD-hhmmss.dll".
std::wstring effectDllCopyPath(std::wstring_view installFolder, const LocalStamp& t);

// The newest time-stamped effect copy among `fileNames` (bare names, as a
// folder listing gives them; the stamps sort by time). Empty when none has
// the form effectDllCopyPath gives.
std::wstring newestDllCopyName(const std::vector<std::wstring>& fileNames);

// The installed executable in double quotes, a space and "uninstall".
std::wstring uninstallCommand(std::wstring_view installedExe);

// The Run value's new text when it still names the former tray program
// (the quoted app path and " --startup"); empty when it must stay as it is.
std::wstring rewrittenRunValue(std::wstring_view current, std::wstring_view installFolder);

// The part of `modulePath` before its last backslash (all of it when none).
std::wstring folderOf(std::wstring_view modulePath);

// The part of `path` after its last backslash (all of it when none).
std::wstring fileNameOf(std::wstring_view path);

// One registry value the installer writes: a text (REG_SZ) or a REG_DWORD.
struct RegistryEntry {
  const wchar_t* name;  // nullptr: the key's default value
  bool isNumber;
  std::wstring text;
  std::uint32_t number;
};

// The COM class key's own default value, then the InprocServer32 values.
std::vector<RegistryEntry> comClassEntries();
std::vector<RegistryEntry> comServerEntries(std::wstring_view dllPath);
std::vector<RegistryEntry> apoEntries();
std::vector<RegistryEntry> uninstallEntries(std::wstring_view installFolder,
                                            std::wstring_view installedExe);

}  // namespace kestrune::service
