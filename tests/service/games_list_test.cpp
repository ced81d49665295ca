#include "service/games_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/effect_switch.h"

namespace kestrune::service {
namespace {

// Little-endian bytes of UTF-16 units, as the registry stores them.
std::vector<std::uint8_t> bytesOf(std::u16string_view units) {
  std::vector<std::uint8_t> bytes;
  for (char16_t u : units) {
    bytes.push_back(static_cast<std::uint8_t>(u & 0xff));
    bytes.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return bytes;
}

using List = std::vector<std::u16string>;

TEST(GamesList, ParsesRawMultiSzBytes) {
  struct Case {
    std::u16string units;
    size_t dropBytes;  // bytes cut off the end
    List expected;
  };
  const Case cases[] = {
      {std::u16string(u"a.exe\0b.exe\0\0", 13), 0, {u"a.exe", u"b.exe"}},
      {std::u16string(u"a.exe\0b.exe\0", 12), 0, {u"a.exe", u"b.exe"}},
      // Last entry without its NUL still counts, ended by the data.
      {std::u16string(u"a.exe\0b.exe", 11), 0, {u"a.exe", u"b.exe"}},
      // Odd byte count: the half unit is ignored.
      {std::u16string(u"a.exe\0bx", 8), 1, {u"a.exe", u"b"}},
      // Walk stops at the first empty entry.
      {std::u16string(u"a.exe\0\0b.exe\0\0", 14), 0, {u"a.exe"}},
      {std::u16string(u"\0a.exe\0\0", 8), 0, {}},
      {u"", 0, {}},
      // No trimming, no case folding, duplicates kept, non-ASCII kept.
      {std::u16string(u" A.EXE \0a.exe\0a.exe\0\u00e9.exe\0\0", 28),
       0,
       {u" A.EXE ", u"a.exe", u"a.exe", u"\u00e9.exe"}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes = bytesOf(c.units);
    bytes.resize(bytes.size() - c.dropBytes);
    EXPECT_EQ(parseMultiSz(bytes.data(), bytes.size()), c.expected)
        << std::string(c.units.begin(), c.units.end());
  }
  EXPECT_EQ(parseMultiSz(nullptr, 10), List{});
}

TEST(GamesList, EveryTruncationYieldsAPrefixOfTheList) {
  const std::vector<std::uint8_t> full = bytesOf(std::u16string(u"ab.exe\0c.exe\0\0", 14));
  const List whole = {u"ab.exe", u"c.exe"};
  for (size_t n = 0; n <= full.size(); ++n) {
    // An exact-size copy, so a read past the end shows under the sanitizer.
    const std::vector<std::uint8_t> cut(full.begin(), full.begin() + n);
    const List got = parseMultiSz(cut.data(), cut.size());
    ASSERT_LE(got.size(), whole.size()) << n;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_FALSE(got[i].empty()) << n;
      EXPECT_EQ(whole[i].substr(0, got[i].size()), got[i]) << n;
      if (i + 1 < got.size()) {
        EXPECT_EQ(got[i], whole[i]) << n;  // only the last entry may be cut
      }
    }
  }
}

TEST(GamesList, CommaTextRoundTripsThroughStoredForm) {
  struct Case {
    std::u16string text;
    List readBack;
  };
  const Case cases[] = {
      {u"a.exe,b.exe", {u"a.exe", u"b.exe"}},
      {u"TslGame.exe", {u"TslGame.exe"}},
      // A leading comma stores an empty first entry: the list reads back empty.
      {u",a.exe", {}},
      // Two adjacent commas end the list before them.
      {u"a.exe,,b.exe", {u"a.exe"}},
      {u"a.exe,", {u"a.exe"}},
      {u"", {}},
  };
  for (const Case& c : cases) {
    const std::u16string stored = multiSzFromCommaText(c.text);
    ASSERT_EQ(stored.size(), c.text.size() + 2);
    EXPECT_EQ(stored.substr(stored.size() - 2), std::u16string(2, u'\0'));
    const std::vector<std::uint8_t> bytes = bytesOf(stored);
    EXPECT_EQ(parseMultiSz(bytes.data(), bytes.size()), c.readBack);
  }
  // The worked example: thirteen units, 26 bytes.
  EXPECT_EQ(bytesOf(multiSzFromCommaText(u"a.exe,b.exe")).size(), 26u);
}

TEST(GamesList, JoinsWithCommasOnly) {
  EXPECT_EQ(joinGames({}), "");
  EXPECT_EQ(joinGames({"a.exe"}), "a.exe");
  EXPECT_EQ(joinGames({"a.exe", "", "b.exe"}), "a.exe,,b.exe");
}

TEST(GamesList, NamesMatchWholeIgnoringCaseOfAsciiLettersOnly) {
  struct Case {
    std::u16string process, listed;
    bool match;
  };
  const Case cases[] = {
      {u"TslGame.exe", u"TslGame.exe", true},
      {u"tslgame.EXE", u"TslGame.exe", true},
      {u"TSLGAME.EXE", u"tslgame.exe", true},
      {u"TslGame.exe2", u"TslGame.exe", false},
      {u"TslGame.ex", u"TslGame.exe", false},
      {u"xTslGame.exe", u"TslGame.exe", false},
      {u"", u"TslGame.exe", false},
      // Only A-Z fold: accented letters and symbols must match exactly.
      {u"\u00c9.exe", u"\u00e9.exe", false},
      {u"\u00e9.exe", u"\u00e9.exe", true},
      {u"[.exe", u"{.exe", false},
      {u"@.exe", u"`.exe", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(gameNameMatches(c.process, c.listed), c.match)
        << std::string(c.process.begin(), c.process.end());
  }
  EXPECT_TRUE(anyGameMatches(u"B.EXE", {u"a.exe", u"b.exe"}));
  EXPECT_FALSE(anyGameMatches(u"c.exe", {u"a.exe", u"b.exe"}));
  EXPECT_FALSE(anyGameMatches(u"c.exe", {}));
}

TEST(EffectSwitch, DecidesEnabledAndMeter) {
  struct Case {
    std::uint32_t wanted, mode;
    bool game;
    std::uint64_t now, deadline;
    std::uint32_t enabled, meter;
  };
  const Case cases[] = {
      {0, 1, true, 100, 0, 0, 0},  // not wanted: off whatever the game
      {0, 0, false, 100, 0, 0, 0},   {1, 1, false, 100, 0, 0, 0},  // auto, no game
      {1, 1, true, 100, 0, 1, 1},                                  // auto, game
      {7, 1, true, 100, 0, 1, 1},                                  // any non-zero counts as wanted
      {1, 0, false, 100, 0, 1, 1},                                 // always
      {1, 2, false, 100, 0, 1, 1},    // any mode other than 1 is always
      {1, 0, false, 100, 101, 0, 1},  // compare window: passes through, meter on
      {1, 0, false, 101, 101, 1, 1},  // deadline reached
      {0, 0, false, 100, 101, 0, 0},
  };
  for (const Case& c : cases) {
    const SwitchValues v = decideSwitch(c.wanted, c.mode, c.game, c.now, c.deadline);
    EXPECT_EQ(v.enabled, c.enabled) << c.wanted << c.mode << c.game << c.now;
    EXPECT_EQ(v.meter, c.meter) << c.wanted << c.mode << c.game << c.now;
  }
}

}  // namespace
}  // namespace kestrune::service
