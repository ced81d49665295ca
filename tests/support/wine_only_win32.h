// The Windows tests and their helper programs register services, replace
// "Audiosrv" and rewrite HKLM render endpoints: on a real Windows machine
// they would break its sound, so they run under Wine only.
#pragma once

#include <windows.h>

#include <cstdio>

namespace kestrune::test {

inline bool runningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Exit code of a test program that refused to run outside Wine.
inline constexpr int kRefusedOutsideWine = 3;

// False, after saying why on standard error, outside Wine.
inline bool allowedToRun() {
  if (runningUnderWine()) return true;
  std::fprintf(stderr,
               "refusing to run: this test program changes machine-wide services and audio "
               "endpoints and runs under Wine only\n");
  return false;
}

}  // namespace kestrune::test
