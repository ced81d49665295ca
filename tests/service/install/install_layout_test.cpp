#include "service/install/install_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune::service {
namespace {

TEST(InstallLayout, EffectCopyNameIsZeroPaddedLocalTime) {
  struct Case {
    LocalStamp t;
    const wchar_t* expected;
  } cases[] = {
      {{2026, 1, 2, 3, 4, 5}, L"C:\\P\\Kestrune\\KestruneApo-20260102-030405.dll"},
      {{2026, 12, 31, 23, 59, 59}, L"C:\\P\\Kestrune\\KestruneApo-20261231-235959.dll"},
      {{999, 10, 10, 0, 0, 0}, L"C:\\P\\Kestrune\\KestruneApo-09991010-000000.dll"},
  };
  for (const Case& c : cases) EXPECT_EQ(effectDllCopyPath(L"C:\\P\\Kestrune", c.t), c.expected);
}

TEST(InstallLayout, NewestEffectCopyIsTheLatestWellFormedStamp) {
  struct Case {
    std::vector<std::wstring> names;
    const wchar_t* expected;
  } cases[] = {
      {{}, L""},
      {{L"KestruneApo.dll", L"kestrune_service.exe"}, L""},
      {{L"KestruneApo-20260102-030405.dll", L"KestruneApo-20251231-235959.dll"},
       L"KestruneApo-20260102-030405.dll"},
      {{L"KestruneApo-20251231-235959.dll", L"KestruneApo-20260102-030405.dll"},
       L"KestruneApo-20260102-030405.dll"},
      // Lookalikes that a wildcard listing also returns sort above real stamps.
      {{L"KestruneApo-20260102-030405.dll", L"KestruneApo-x.dll",
        L"KestruneApo-2026010-0304050.dll", L"KestruneApo-20260102-030405.dll.old",
        L"KestruneApo-9999999a-999999.dll"},
       L"KestruneApo-20260102-030405.dll"},
  };
  for (const Case& c : cases) EXPECT_EQ(newestDllCopyName(c.names), c.expected);
}

TEST(InstallLayout, RunValueIsRewrittenOnlyWhenItNamesTheFormerTray) {
  struct Case {
    const wchar_t* current;
    const wchar_t* expected;
  } cases[] = {
      {L"\"C:\\Old\\kestrune_tray.exe\" --min", L"\"C:\\P\\K\\kestrune_app.exe\" --startup"},
      {L"kestrune_tray.exe", L"\"C:\\P\\K\\kestrune_app.exe\" --startup"},
      {L"\"C:\\P\\K\\kestrune_app.exe\" --startup", L""},
      {L"KESTRUNE_TRAY.EXE", L""},  // the match is exact
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(rewrittenRunValue(c.current, L"C:\\P\\K"), c.expected);
}

TEST(InstallLayout, UninstallCommandAndSourceFolder) {
  EXPECT_EQ(uninstallCommand(L"C:\\Program Files\\Kestrune\\kestrune_service.exe"),
            L"\"C:\\Program Files\\Kestrune\\kestrune_service.exe\" uninstall");
  EXPECT_EQ(folderOf(L"C:\\a b\\c\\kestrune_service.exe"), L"C:\\a b\\c");
  EXPECT_EQ(folderOf(L"kestrune_service.exe"), L"kestrune_service.exe");
  EXPECT_EQ(fileNameOf(L"C:\\a b\\c\\KestruneApo-20260102-030405.dll"),
            L"KestruneApo-20260102-030405.dll");
  EXPECT_EQ(fileNameOf(L"KestruneApo.dll"), L"KestruneApo.dll");
}

}  // namespace
}  // namespace kestrune::service
