#include <gtest/gtest.h>

#include "common/names.h"
#include "service/settings_store.h"
#include "tests/support/scoped_registry_win32.h"

namespace kestrune::service {
namespace {

using test::RegistryValue;
using test::ScopedRegistryKey;
using test::setBytes;
using test::setDword;
using test::setString;

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { settings_.erase(); }
  ScopedRegistryKey settings_{HKEY_LOCAL_MACHINE, kSettingsKeyPath};
};

std::vector<BYTE> wideBytes(const std::wstring& units) {
  const auto* p = reinterpret_cast<const BYTE*>(units.data());
  return std::vector<BYTE>(p, p + units.size() * sizeof(wchar_t));
}

TEST_F(SettingsStore, NumbersFallBackToTheReadersDefault) {
  EXPECT_EQ(readNumber(kValueWanted, 1), 1u);  // no key at all
  ASSERT_TRUE(writeNumber(kValueWanted, 7));
  EXPECT_EQ(readNumber(kValueWanted, 1), 7u);
  EXPECT_EQ(readNumber(kValueMode, 1), 1u);  // key present, value absent
  setString(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueIntensity, L"2");
  EXPECT_EQ(readNumber(kValueIntensity, 3), 3u);  // other type
  setBytes(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueMeter, REG_BINARY, {1, 0, 0, 0});
  EXPECT_EQ(readNumber(kValueMeter, 2), 2u);
  EXPECT_EQ(readNumber(kJournalKeyPath, L"_Phase", 0), 0u);
  setDword(HKEY_LOCAL_MACHINE, kJournalKeyPath, L"_Phase", 3);
  EXPECT_EQ(readNumber(kJournalKeyPath, L"_Phase", 0), 3u);

  RegistryValue stored;
  ASSERT_TRUE(test::readValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueWanted, stored));
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(stored.bytes, (std::vector<BYTE>{7, 0, 0, 0}));
}

TEST_F(SettingsStore, TextsUpTo1023UnitsReadBack) {
  struct Case {
    size_t units;
    bool readsBack;
  };
  for (const Case c :
       {Case{0, true}, Case{1, true}, Case{1023, true}, Case{1024, false}, Case{3000, false}}) {
    const std::wstring text(c.units, L'x');
    setString(HKEY_LOCAL_MACHINE, kJournalKeyPath, L"_Device", text);
    EXPECT_EQ(readText(kJournalKeyPath, L"_Device"), c.readsBack ? text : L"") << c.units;
  }
  setDword(HKEY_LOCAL_MACHINE, kJournalKeyPath, L"_Device", 5);
  EXPECT_EQ(readText(kJournalKeyPath, L"_Device"), L"");
  EXPECT_EQ(readText(kJournalKeyPath, L"Missing"), L"");
  EXPECT_EQ(readText(L"SOFTWARE\\Kestrune\\NoSuchKey", L"_Device"), L"");
}

TEST_F(SettingsStore, GamesListFromEveryStoredShape) {
  using List = std::vector<std::wstring>;
  struct Case {
    DWORD type;
    std::wstring units;  // raw data; NULs are part of it
    List list;
    std::string text;
  };
  const Case cases[] = {
      {REG_MULTI_SZ, std::wstring(L"a.exe\0b.exe\0\0", 13), {L"a.exe", L"b.exe"}, "a.exe,b.exe"},
      {REG_MULTI_SZ, std::wstring(L"a.exe\0b.exe", 11), {L"a.exe", L"b.exe"}, "a.exe,b.exe"},
      {REG_MULTI_SZ, std::wstring(L"\0\0", 2), {}, "TslGame.exe"},
      {REG_MULTI_SZ, std::wstring(L"\u00e9.exe\0\0", 7), {L"\u00e9.exe"}, "\xc3\xa9.exe"},
      {REG_SZ, std::wstring(L"a.exe\0", 6), {}, "TslGame.exe"},
      {REG_BINARY, std::wstring(L"a.exe\0\0", 7), {}, "TslGame.exe"},
  };
  EXPECT_EQ(readGamesList(), List{});
  EXPECT_EQ(effectiveGamesList(), List{L"TslGame.exe"});
  EXPECT_EQ(gamesListText(), "TslGame.exe");
  for (const Case& c : cases) {
    setBytes(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueGames, c.type, wideBytes(c.units));
    EXPECT_EQ(readGamesList(), c.list) << c.text;
    EXPECT_EQ(gamesListText(), c.text);
    EXPECT_EQ(effectiveGamesList(), c.list.empty() ? List{L"TslGame.exe"} : c.list);
  }
}

TEST_F(SettingsStore, GamesListWritesTheStoredBytesExactly) {
  struct Case {
    std::string text;
    std::wstring stored;
    std::string readBack;
  };
  const Case cases[] = {
      {"a.exe,b.exe", std::wstring(L"a.exe\0b.exe\0\0", 13), "a.exe,b.exe"},
      {",a.exe", std::wstring(L"\0a.exe\0\0", 8), "TslGame.exe"},
      {"a.exe,,b.exe", std::wstring(L"a.exe\0\0b.exe\0\0", 14), "a.exe"},
      {"Spiel\xc3\xa9.exe", std::wstring(L"Spiel\u00e9.exe\0\0", 12), "Spiel\xc3\xa9.exe"},
      {"", std::wstring(L"\0\0", 2), "TslGame.exe"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(writeGamesList(c.text));
    RegistryValue stored;
    ASSERT_TRUE(test::readValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kValueGames, stored));
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(stored.bytes, wideBytes(c.stored)) << c.text;
    EXPECT_EQ(gamesListText(), c.readBack);
  }
}

}  // namespace
}  // namespace kestrune::service
