#include "tests/support/background_child_win32.h"

namespace kestrune::test {

BackgroundChild::~BackgroundChild() {
  if (running()) finish(0);
}

bool BackgroundChild::start(const std::wstring& commandLine) {
  wchar_t temp[MAX_PATH], path[MAX_PATH];
  if (!::GetTempPathW(MAX_PATH, temp) || !::GetTempFileNameW(temp, L"kch", 0, path)) return false;
  outputPath_ = path;
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  UniqueFileHandle out(::CreateFileW(path, GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out.get();
  si.hStdError = out.get();
  PROCESS_INFORMATION pi{};
  std::wstring line = commandLine;
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi)) {
    return false;
  }
  process_.reset(pi.hProcess);
  ::CloseHandle(pi.hThread);
  return true;
}

bool BackgroundChild::running() const {
  return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::string BackgroundChild::output() const {
  std::string out;
  UniqueFileHandle in(::CreateFileW(outputPath_.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  char buffer[4096];
  DWORD got = 0;
  while (in && ::ReadFile(in.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
    out.append(buffer, got);
  return out;
}

ChildResult BackgroundChild::finish(DWORD timeoutMs) {
  ChildResult result;
  if (!process_) return result;
  result.started = true;
  if (::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) {
    result.timedOut = true;
    ::TerminateProcess(process_.get(), 259);
    ::WaitForSingleObject(process_.get(), INFINITE);
  }
  ::GetExitCodeProcess(process_.get(), &result.exitCode);
  process_.reset();
  result.out = output();
  ::DeleteFileW(outputPath_.c_str());
  return result;
}

ChildResult runChildToFile(const std::wstring& commandLine, DWORD timeoutMs) {
  BackgroundChild child;
  if (!child.start(commandLine)) return {};
  return child.finish(timeoutMs);
}

}  // namespace kestrune::test
