#include "service/endpoints/endpoint_inventory_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "common/names.h"
#include "service/endpoints/endpoint_plan.h"
#include "tests/service/endpoints/fake_endpoint_win32.h"

namespace kestrune::service::test {
namespace {

using kestrune::test::ScopedRegistryKey;

std::vector<std::string> sortedLines(const std::string& reply) {
  std::vector<std::string> lines;
  std::istringstream in(reply);
  for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
  std::sort(lines.begin(), lines.end());
  return lines;
}

class EndpointInventory : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.erase();
    render_.erase();
  }
  ScopedRegistryKey settings_{HKEY_LOCAL_MACHINE, kSettingsKeyPath};
  ScopedRegistryKey render_{HKEY_LOCAL_MACHINE, kRenderEndpointsPath};
};

TEST_F(EndpointInventory, FxPropertiesPathIsRootPlusIdPlusFxProperties) {
  EXPECT_EQ(std::wstring(kRenderRootPath).size(), 65u);
  EXPECT_EQ(FxPropertiesPath(L"{0.0.0.00000000}.{x}"),
            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Render\\"
            L"{0.0.0.00000000}.{x}\\FxProperties");
}

TEST_F(EndpointInventory, ListsActiveEndpointsWithNamesAndTags) {
  const std::wstring ours = kEffectClsidTextW;
  const std::wstring foreign = L"{62DC1A93-AE24-464C-A43E-452F824C4250}";
  const FakeEndpoint endpoints[] = {
      {L"{a}", 1, L"Headset", L"USB Audio", true, {sz(kPropEndpointEffectClsid, ours)}},
      {L"{b}", 1, L"Speakers", L"Realtek", true, {sz(kPropEndpointEffectClsid, foreign)}},
      {L"{c}",
       1,
       L"Lower",
       L"Case",
       true,
       {sz(kPropEndpointEffectClsid, L"{b3c1f6a2-5d4e-4f8a-9c7b-2e1d0a9f8c64}")}},
      {L"{d}", 1, L"Empty Fx", L"X", true, {}},
      {L"{e}", 1, std::nullopt, std::nullopt, false, {}},
      {L"{f}", 4, L"Unplugged", L"X", true, {dword(L"x", 1)}},
      {L"{g}", 2, L"Disabled", L"X", true, {dword(L"x", 1)}},
      {L"{h}", std::nullopt, L"No state", L"X", true, {dword(L"x", 1)}},
      {L"{J}", 1, L"Kopfh\u00f6rer", L"Case id", true, {dword(L"x", 1)}},
      {L"{k}",
       1,
       L"Binary slot",
       L"X",
       true,
       {{kPropEndpointEffectClsid, REG_BINARY, {1, 2, 3, 4}}}},
  };
  for (const FakeEndpoint& e : endpoints) createEndpoint(e);
  // "{j}" differs from "{J}" in case only: not ours.
  kestrune::test::setString(HKEY_LOCAL_MACHINE, kJournalKeyPath, L"_Device", L"{j}");
  const std::vector<std::string> expected = {
      "{J}\tKopfh\xc3\xb6rer (Case id)\n",
      "{a}\tHeadset (USB Audio)\n",
      "{b}\tSpeakers (Realtek)\t[other-effect]\n",
      "{c}\tLower (Case)\n",
      "{d}\tEmpty Fx (X)\t[no-effects]\n",
      "{e}\t ()\t[no-effects]\n",
      "{k}\tBinary slot (X)\n",
  };
  EXPECT_EQ(sortedLines(ListRenderEndpoints()), expected);

  kestrune::test::setString(HKEY_LOCAL_MACHINE, kJournalKeyPath, L"_Device", L"{b}");
  const std::string reply = ListRenderEndpoints();
  EXPECT_NE(reply.find("{b}\tSpeakers (Realtek)\t[kestrune]\n"), std::string::npos) << reply;

  EXPECT_FALSE(HasForeignEffect(L"{a}"));
  EXPECT_TRUE(HasForeignEffect(L"{b}"));
  EXPECT_FALSE(HasForeignEffect(L"{c}"));
  EXPECT_FALSE(HasForeignEffect(L"{k}"));
  EXPECT_FALSE(HasForeignEffect(L"{missing}"));
  EXPECT_EQ(ClassifyEndpoint(L"{a}", L""), EndpointClass::HasEffects);
  EXPECT_EQ(ClassifyEndpoint(L"{a}", L"{a}"), EndpointClass::Ours);
}

TEST_F(EndpointInventory, EmptyOrMissingRoot) {
  EXPECT_EQ(ListRenderEndpoints(), "error cannot read endpoints\n");
  createEndpoint({L"{x}", 4, std::nullopt, std::nullopt, true, {}});
  EXPECT_EQ(ListRenderEndpoints(), "");
}

TEST_F(EndpointInventory, OverlongEndpointNameEndsTheListing) {
  // Names that do not fit the 128-character buffer stop the enumeration.
  createEndpoint({L"{a}", 1, L"A", L"B", false, {}});
  createEndpoint({L"{b" + std::wstring(200, L'x') + L"}", 1, L"Long", L"B", false, {}});
  createEndpoint({L"{c}", 1, L"C", L"D", false, {}});
  EXPECT_EQ(ListRenderEndpoints(), "{a}\tA (B)\t[no-effects]\n");
}

}  // namespace
}  // namespace kestrune::service::test
