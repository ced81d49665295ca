#include "app/shell_actions_win32.h"

#include <shellapi.h>

#include "common/handles_win32.h"

namespace kestrune::app {

void openWithShell(const std::wstring& address) {
  ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool runRepair(HWND owner, const std::wstring& exeFolder) {
  const std::wstring file = exeFolder + L"\\kestrune_service.exe";
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // NOASYNC: the worker may end right after the wait, before a shell
  // extension running on its behalf would be done. NO_UI: a failure is the
  // page's to report ("cancelled"), not a system box from a worker thread.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner;
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = L"install";
  info.nShow = SW_HIDE;
  if (!::ShellExecuteExW(&info) || !info.hProcess) return false;
  UniqueHandle process(info.hProcess);
  // A timed-out wait counts as started too: the installer goes on alone.
  ::WaitForSingleObject(process.get(), 60000);
  return true;
}

ShellThreadScope::ShellThreadScope()
    : initialised_(
          SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {
}

ShellThreadScope::~ShellThreadScope() {
  if (initialised_) ::CoUninitialize();
}

}  // namespace kestrune::app
