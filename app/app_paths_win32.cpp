#include "app/app_paths_win32.h"

#include <windows.h>
// These need windows.h included before them.
#include <knownfolders.h>
#include <shlobj.h>

namespace kestrune::app {

namespace {

std::wstring localAppData() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return std::wstring(buffer, n);
  PWSTR known = nullptr;
  std::wstring path;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known))) path = known;
  ::CoTaskMemFree(known);
  return path;
}

}  // namespace

std::wstring exePath() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return std::wstring(buffer, n);
}

std::wstring folderOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L'\\');
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring webViewDataFolder() { return localAppData() + L"\\Kestrune\\WebView2"; }

}  // namespace kestrune::app
