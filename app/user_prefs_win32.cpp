#include "app/user_prefs_win32.h"

#include "common/names.h"

namespace kestrune::app {

std::optional<DWORD> readUserDword(const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, kUserKeyPath, name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

void writeUserDword(const wchar_t* name, DWORD value) {
  ::RegSetKeyValueW(HKEY_CURRENT_USER, kUserKeyPath, name, REG_DWORD, &value, sizeof value);
}

bool balloonsEnabled() { return readUserDword(kValueNotify).value_or(1) != 0; }

Prefs readPrefs() {
  Prefs prefs;
  prefs.startup = ::RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, RRF_RT_REG_SZ,
                                 nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  prefs.minimized = readUserDword(kValueStartMinimized).value_or(0);
  prefs.notify = readUserDword(kValueNotify).value_or(1);
  return prefs;
}

void writePref(PrefName name, bool value, const std::wstring& exePath) {
  switch (name) {
    case PrefName::Startup:
      if (value) {
        const std::wstring command = L"\"" + exePath + L"\" --startup";
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, REG_SZ, command.c_str(),
                          static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
      } else {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName);
      }
      break;
    case PrefName::Minimized:
      writeUserDword(kValueStartMinimized, value ? 1 : 0);
      break;
    case PrefName::Notify:
      writeUserDword(kValueNotify, value ? 1 : 0);
      break;
  }
}

}  // namespace kestrune::app
