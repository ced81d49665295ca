// Entry point of every Windows test executable. These tests register
// services, replace "Audiosrv" and rewrite HKLM render endpoints: on a real
// Windows machine they would break its sound, so they run under Wine only.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

namespace {

bool runningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (!runningUnderWine()) {
    std::fprintf(stderr,
                 "refusing to run: these tests change machine-wide services and audio endpoints "
                 "and run under Wine only\n");
    return 3;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
