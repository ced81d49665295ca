#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/elevation.h"
#include "service/service_main_verb.h"

namespace kestrune::service {
namespace {

using Args = std::vector<std::wstring>;

TEST(StartVerb, FirstArgumentPicksTheVerbIgnoringAsciiCase) {
  struct Case {
    Args args;
    StartVerb verb;
  } cases[] = {
      {{}, StartVerb::ServiceMode},
      {{L"install"}, StartVerb::Install},
      {{L"INSTALL"}, StartVerb::Install},
      {{L"InStAlL", L"x"}, StartVerb::Install},
      {{L"uninstall"}, StartVerb::Uninstall},
      {{L"UnInstall"}, StartVerb::Uninstall},
      {{L"run"}, StartVerb::Run},
      {{L"RUN", L"install"}, StartVerb::Run},
      {{L"x", L"install"}, StartVerb::ServiceMode},
      {{L"installx"}, StartVerb::ServiceMode},
      {{L""}, StartVerb::ServiceMode},
      {{L"\u0130nstall"}, StartVerb::ServiceMode},  // dotted capital I is not A-Z
  };
  for (const Case& c : cases) EXPECT_EQ(startVerbFor(c.args), c.verb);
}

class FakeElevation : public ElevationPort {
 public:
  bool isElevated() override { return elevated; }
  std::optional<std::uint32_t> runElevatedCopy(const std::wstring& parameters) override {
    handedOver.push_back(parameters);
    return copyExitCode;
  }
  void print(const char* text) override { printed += text; }

  bool elevated = false;
  std::optional<std::uint32_t> copyExitCode;
  std::vector<std::wstring> handedOver;
  std::string printed;
};

TEST(Elevation, ElevatedRunsTheWorkItself) {
  FakeElevation port;
  port.elevated = true;
  EXPECT_EQ(runElevated({L"install"}, port, [] { return 7; }), 7);
  EXPECT_TRUE(port.handedOver.empty());
  EXPECT_EQ(port.printed, "");
}

TEST(Elevation, NotElevatedPassesTheCopysExitCodeOnWithArgumentsUnquoted) {
  struct Case {
    Args args;
    std::uint32_t code;
    std::wstring parameters;
  } cases[] = {
      {{L"install"}, 0, L"install"},
      {{L"Install", L"a b", L"c"}, 1, L"Install a b c"},
      {{L"uninstall", L""}, 42, L"uninstall "},
  };
  for (const Case& c : cases) {
    FakeElevation port;
    port.copyExitCode = c.code;
    bool worked = false;
    EXPECT_EQ(runElevated(c.args, port,
                          [&] {
                            worked = true;
                            return 0;
                          }),
              static_cast<int>(c.code));
    EXPECT_FALSE(worked);
    EXPECT_EQ(port.handedOver, std::vector<std::wstring>{c.parameters});
    EXPECT_EQ(port.printed, "");
  }
}

TEST(Elevation, DeclinedPromptPrintsTheMessageAndFails) {
  FakeElevation port;
  EXPECT_EQ(runElevated({L"uninstall"}, port, [] { return 0; }), 1);
  EXPECT_EQ(port.printed, "cancelled: administrator rights are needed\n");
}

}  // namespace
}  // namespace kestrune::service
