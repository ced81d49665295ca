#include "tests/support/app_folder_win32.h"

#include <shellapi.h>

#include "tests/support/child_process_win32.h"

namespace kestrune::test {

namespace {

void deleteTree(const std::wstring& dir) {
  std::wstring from = dir + L'\0';  // double-NUL-terminated list
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  ::SHFileOperationW(&op);
}

}  // namespace

AppFolder::AppFolder(bool withLoader) {
  static int serial = 0;
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  dir_ = std::wstring(temp) + L"kestrune_app_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(++serial);
  deleteTree(dir_);
  ::CreateDirectoryW(dir_.c_str(), nullptr);
  ::CreateDirectoryW((dir_ + L"\\ui").c_str(), nullptr);
  put(L"kestrune_app.exe", L"kestrune_app.exe");
  if (withLoader) put(L"WebView2Loader.dll", L"WebView2Loader.dll");
  put(L"test_page\\index.html", L"ui\\index.html");
}

AppFolder::~AppFolder() {
  end();
  deleteTree(dir_);
}

bool AppFolder::put(const std::wstring& program, const std::wstring& name) const {
  const std::wstring target = dir_ + L"\\" + name;
  if (program.empty()) return ::DeleteFileW(target.c_str()) != FALSE;
  return ::CopyFileW((binDir() + program).c_str(), target.c_str(), FALSE) != FALSE;
}

bool AppFolder::start(const std::wstring& arguments) {
  std::wstring line =
      L"\"" + dir_ + L"\\kestrune_app.exe\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(),
                        &startup, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  process_.reset(info.hProcess);
  processId_ = info.dwProcessId;
  return true;
}

DWORD AppFolder::runAnother(const std::wstring& arguments, DWORD timeoutMs) const {
  const ChildResult r = runChild(L"\"" + dir_ + L"\\kestrune_app.exe\" " + arguments, timeoutMs);
  if (!r.started) return static_cast<DWORD>(-1);
  return r.timedOut ? STILL_ACTIVE : r.exitCode;
}

HWND AppFolder::waitForWindow(DWORD timeoutMs) const {
  HWND found = nullptr;
  eventually(
      [&] {
        found = ::FindWindowW(L"KestruneApp", nullptr);
        DWORD owner = 0;
        if (found) ::GetWindowThreadProcessId(found, &owner);
        return found && owner == processId_;
      },
      timeoutMs);
  return found;
}

bool AppFolder::waitForExit(DWORD timeoutMs, DWORD& exitCode) const {
  if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return false;
  ::GetExitCodeProcess(process_.get(), &exitCode);
  return true;
}

void AppFolder::end() {
  if (!process_) return;
  if (::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_.get(), 0);
    ::WaitForSingleObject(process_.get(), 10000);
  }
  process_.reset();
}

}  // namespace kestrune::test
