#include "service/elevation_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/child_process_win32.h"

namespace kestrune::service {
namespace {

TEST(SystemElevation, RunasStartsTheProgramAndPassesItsExitCodeOn) {
  const std::wstring program = kestrune::test::binDir() + L"count_arguments.exe";
  struct Case {
    const wchar_t* parameters;
    std::uint32_t exitCode;
  } cases[] = {{L"install", 1}, {L"install a b", 3}, {L"", 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(runAsAdministratorAndWait(program.c_str(), c.parameters), c.exitCode);
  }
  EXPECT_FALSE(runAsAdministratorAndWait(L"C:\\no\\such\\program.exe", L"install").has_value());
}

TEST(SystemElevation, TestPrefixRunsElevated) {
  SystemElevation port;
  EXPECT_TRUE(port.isElevated());
}

}  // namespace
}  // namespace kestrune::service
