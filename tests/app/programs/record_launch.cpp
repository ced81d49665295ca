// Stands in for programs the app starts through the shell (the browser, the
// mail program, the elevated service installer): appends its command line,
// one per line in UTF-8, to the file named by KESTRUNE_RECORD_LAUNCH and
// exits with 0. Under Wine only, like every helper of the tests.
#include <windows.h>

#include <string>

#include "common/utf8_win32.h"
#include "tests/support/wine_only_win32.h"

int main() {
  if (!kestrune::test::allowedToRun()) return kestrune::test::kRefusedOutsideWine;
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableW(L"KESTRUNE_RECORD_LAUNCH", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  const std::string line = kestrune::wideToUtf8(::GetCommandLineW()) + "\n";
  HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
  return 0;
}
