#include "service/elevation_win32.h"

#include <windows.h>
// These need windows.h included before them.
#include <shellapi.h>

#include <cstdio>

#include "common/handles_win32.h"

namespace kestrune::service {

bool SystemElevation::isElevated() {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) {
    return false;
  }
  return elevation.TokenIsElevated != 0;
}

std::optional<std::uint32_t> SystemElevation::runElevatedCopy(const std::wstring& parameters) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  return runAsAdministratorAndWait(self, parameters);
}

void SystemElevation::print(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

std::optional<std::uint32_t> runAsAdministratorAndWait(const wchar_t* program,
                                                       const std::wstring& parameters) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"runas";
  info.lpFile = program;
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info) || !info.hProcess) return std::nullopt;
  UniqueHandle process(info.hProcess);
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 1;
  if (!::GetExitCodeProcess(process.get(), &code)) code = 1;
  return code;
}

}  // namespace kestrune::service
