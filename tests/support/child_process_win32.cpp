#include "tests/support/child_process_win32.h"

#include <thread>

#include "common/handles_win32.h"

namespace kestrune::test {

namespace {

void drain(HANDLE pipe, std::string& into) {
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) into.append(buffer, got);
}

bool makePipe(UniqueHandle& read, UniqueHandle& write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE r = nullptr, w = nullptr;
  if (!::CreatePipe(&r, &w, &sa, 0)) return false;
  read.reset(r);
  write.reset(w);
  ::SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);
  return true;
}

}  // namespace

ChildResult runChild(const std::wstring& commandLine, DWORD timeoutMs) {
  ChildResult result;
  UniqueHandle outRead, outWrite, errRead, errWrite;
  if (!makePipe(outRead, outWrite) || !makePipe(errRead, errWrite)) return result;

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nullptr;
  si.hStdOutput = outWrite.get();
  si.hStdError = errWrite.get();
  PROCESS_INFORMATION pi{};
  std::wstring mutableLine = commandLine;
  if (!::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &si, &pi)) {
    return result;
  }
  result.started = true;
  UniqueHandle process(pi.hProcess);
  UniqueHandle thread(pi.hThread);
  // Our copies of the write ends must go, or the readers never see the end.
  outWrite.reset();
  errWrite.reset();

  std::thread outReader(drain, outRead.get(), std::ref(result.out));
  std::thread errReader(drain, errRead.get(), std::ref(result.err));
  if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    result.timedOut = true;
    ::TerminateProcess(process.get(), 259);
    ::WaitForSingleObject(process.get(), INFINITE);
  }
  outReader.join();
  errReader.join();
  ::GetExitCodeProcess(process.get(), &result.exitCode);
  return result;
}

std::wstring binDir() {
  wchar_t path[MAX_PATH];
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::wstring quotedBinPath(const std::wstring& name) { return L"\"" + binDir() + name + L"\""; }

}  // namespace kestrune::test
