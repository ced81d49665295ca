#include <windows.h>

#include "common/handles_win32.h"
#include "common/names.h"
#include "common/utf8_win32.h"
#include "service/games_list.h"
#include "service/settings_store.h"
#include "service/u16_win32.h"

namespace kestrune::service {

namespace {
constexpr DWORD kTextBufferBytes = 2048;
}  // namespace

std::uint32_t readNumber(const wchar_t* keyPath, const wchar_t* name, std::uint32_t fallback) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, keyPath, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS) {
    return fallback;
  }
  return value;
}

std::uint32_t readNumber(const wchar_t* name, std::uint32_t fallback) {
  return readNumber(kSettingsKeyPath, name, fallback);
}

bool writeNumber(const wchar_t* name, std::uint32_t value) {
  const DWORD data = value;
  return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, name, REG_DWORD, &data,
                           sizeof(data)) == ERROR_SUCCESS;
}

std::wstring readText(const wchar_t* keyPath, const wchar_t* name) {
  wchar_t buffer[kTextBufferBytes / sizeof(wchar_t)] = {};
  DWORD size = sizeof(buffer);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, keyPath, name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return std::wstring(buffer);
}

std::vector<std::wstring> readGamesList() {
  UniqueHKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_QUERY_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return {};
  }
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), kValueGames, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_MULTI_SZ) {
    return {};
  }
  std::vector<BYTE> data(size, 0);
  if (::RegQueryValueExW(key.get(), kValueGames, nullptr, &type, data.data(), &size) !=
          ERROR_SUCCESS ||
      type != REG_MULTI_SZ) {
    return {};
  }
  std::vector<std::wstring> games;
  for (const std::u16string& entry : parseMultiSz(data.data(), std::min<size_t>(size, data.size())))
    games.emplace_back(asWide(entry));
  return games;
}

std::vector<std::wstring> effectiveGamesList() {
  std::vector<std::wstring> games = readGamesList();
  if (games.empty()) games.emplace_back(asWide(kDefaultGame));
  return games;
}

std::string gamesListText() {
  std::vector<std::string> entries;
  for (const std::wstring& game : effectiveGamesList()) entries.push_back(wideToUtf8(game));
  return joinGames(entries);
}

bool writeGamesList(std::string_view utf8Text) {
  const std::wstring wide = utf8ToWide(utf8Text);
  const std::u16string stored = multiSzFromCommaText(asU16(wide));
  return ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueGames, REG_MULTI_SZ,
                           stored.data(),
                           static_cast<DWORD>(stored.size() * sizeof(char16_t))) == ERROR_SUCCESS;
}

}  // namespace kestrune::service
