#include "tests/support/running_copy_win32.h"

#include "tests/support/child_process_win32.h"

namespace kestrune::test {

RunningCopy::RunningCopy(const std::wstring& program, const std::wstring& exeName) {
  static int counter = 0;
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  dir_ = std::wstring(temp) + L"kestrune_copy_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(++counter);
  ::CreateDirectoryW(dir_.c_str(), nullptr);
  path_ = dir_ + L"\\" + exeName;
  if (!::CopyFileW((binDir() + program).c_str(), path_.c_str(), FALSE)) return;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring line = L"\"" + path_ + L"\"";
  if (::CreateProcessW(path_.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &si, &pi)) {
    process_.reset(pi.hProcess);
    ::CloseHandle(pi.hThread);
  }
}

RunningCopy::~RunningCopy() {
  end();
  ::DeleteFileW(path_.c_str());
  ::RemoveDirectoryW(dir_.c_str());
}

bool RunningCopy::running() const {
  return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

void RunningCopy::end() {
  if (!process_) return;
  ::TerminateProcess(process_.get(), 0);
  ::WaitForSingleObject(process_.get(), 5000);
  process_.reset();
}

}  // namespace kestrune::test
